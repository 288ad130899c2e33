#!/usr/bin/env bash
# Lines of C++ that are neither blank nor comment, per folder, and the tests' share of the
# code they prove (src/, host/, tools/ and setup/). Usage: scripts/code-size.sh
set -euo pipefail
cd "$(dirname "$0")/.."
python3 - <<'PY'
import os
def count(path):
    n, block = 0, False
    for line in open(path, errors='replace'):
        s = line.strip()
        if block:
            if '*/' not in s:
                continue
            block, s = False, s.split('*/', 1)[1].strip()
        if s.startswith('/*'):
            block = '*/' not in s
            continue
        if s and not s.startswith('//'):
            n += 1
    return n
def tree(folder):
    return sum(count(os.path.join(root, f)) for root, _, files in os.walk(folder)
               for f in files if f.endswith(('.cpp', '.h', '.c')))
code = {d: tree(d) for d in ('src', 'host', 'tools', 'setup')}
tests = tree('tests')
for d, n in code.items():
    print(f"{d + '/':8} {n:6}")
total = sum(code.values())
print(f"{'code':8} {total:6}")
print(f"{'tests/':8} {tests:6}  {tests / total:.3f} of the code")
PY
