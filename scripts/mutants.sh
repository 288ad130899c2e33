#!/usr/bin/env bash
# A small mutation check: each fault of scripts/mutants.tsv is put into a copy of the tree,
# which is built (release, no sanitizers) and tested with the tests named for it; a fault
# that some test fails on is killed, one that every test passes survived.
# Usage: scripts/mutants.sh [NAME...]   (all mutations when none is named)
# Prints one line a mutation and a closing "N killed, N survived"; the lines are also kept
# in build/mutants/results.txt. Exits 0 when every mutation was applied and built.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
list=scripts/mutants.tsv
work=$root/build/mutants
tree=$work/tree
build=$work/build

scripts/setup.sh >/dev/null
mkdir -p "$work"
rm -rf "$tree"
mkdir -p "$tree"
git ls-files -z | grep -zv '^docs/' | (cd "$root" && xargs -0 tar cf -) | tar xmf - -C "$tree"  # m: every file newer than the objects of an earlier run
cmake -S "$tree" -B "$build" -DCMAKE_BUILD_TYPE=Release -DQVLMR_SANITIZE=OFF -DQVLMR_TEST_TIMEOUT=45 >/dev/null
cmake --build "$build" -j"$(nproc)" >/dev/null

# Puts text's one occurrence in file to replacement (\n in either stands for a line break).
apply() {  # file text replacement
  python3 - "$@" <<'EOF'
import sys
path, text, replacement = sys.argv[1], sys.argv[2].replace('\\n', '\n'), sys.argv[3].replace('\\n', '\n')
source = open(path).read()
if source.count(text) != 1:
    sys.exit(f"{path}: the text is there {source.count(text)} times, not once: {text!r}")
open(path, 'w').write(source.replace(text, replacement))
EOF
}

wanted=" $* "
killed=0; survived=0; broken=0
: >"$work/results.txt"
while IFS=$'\t' read -r name file text replacement tests; do
  case $name in ''|'#'*) continue ;; esac
  [ $# -eq 0 ] || [[ $wanted == *" $name "* ]] || continue
  cp "$root/$file" "$tree/$file"
  if ! apply "$tree/$file" "$text" "$replacement" 2>"$work/apply.err"; then
    line="BROKEN $name: $(cat "$work/apply.err")"; broken=$((broken + 1))
  elif ! cmake --build "$build" -j"$(nproc)" >"$work/build.log" 2>&1; then
    line="BROKEN $name: does not build (see $work/build.log)"; broken=$((broken + 1))
  else
    filter=(-E "Stress|win32_dll"); [ "$tests" = all ] || filter=(-E win32_dll -R "$tests")
    if ctest --test-dir "$build" -j"$(nproc)" "${filter[@]}" >"$work/$name.log" 2>&1; then
      line="SURVIVED $name ($file; tests: $tests)"; survived=$((survived + 1))
    else
      line="killed $name ($(grep -c 'Failed\|Timeout' "$work/$name.log" || true) failing)"; killed=$((killed + 1))
    fi
  fi
  cp "$root/$file" "$tree/$file"
  echo "$line" | tee -a "$work/results.txt"
done <"$list"
cmake --build "$build" -j"$(nproc)" >/dev/null  # the copy as it is again
echo "mutants: $killed killed, $survived survived$([ $broken = 0 ] || echo ", $broken not applied")" | tee -a "$work/results.txt"
[ $broken = 0 ]
