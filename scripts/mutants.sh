#!/usr/bin/env bash
# A small mutation check over the faults of scripts/mutants.tsv.
#
#   scripts/mutants.sh --check     puts every fault into its file and takes it out again,
#                                  without building (seconds); fails when a fault's text is
#                                  not in its file exactly once. CI runs this.
#   scripts/mutants.sh [NAME...]   the full run: each fault (all when none is named) is put
#                                  into a copy of the tree, built (release, no sanitizers) and
#                                  tested with the tests named for it; a fault some test fails
#                                  on is killed. A whole run writes its figures and which test
#                                  killed which fault into docs/testing.md.
# Prints one line a fault and a closing "N killed, N survived, N equivalent"; the lines are
# also kept in build/mutants/results.txt. Exits 0 when every fault was applied and built and
# none survived that the list does not name equivalent.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
list=scripts/mutants.tsv
work=$root/build/mutants
tree=$work/tree
build=$work/build

# Puts text's one occurrence in file to replacement (\n in either stands for a line break).
apply() {  # file text replacement
  python3 - "$@" <<'EOF'
import sys
path, text, replacement = sys.argv[1], sys.argv[2].replace('\\n', '\n'), sys.argv[3].replace('\\n', '\n')
source = open(path).read()
if source.count(text) != 1:
    sys.exit(f"{path}: the text is there {source.count(text)} times, not once: {text!r}")
if text == replacement:
    sys.exit(f"{path}: the replacement is the text itself: {text!r}")
open(path, 'w').write(source.replace(text, replacement))
EOF
}

# Each fault applied in memory and taken out again: its text once in its file, a change made.
if [ "${1:-}" = --check ]; then
  python3 - "$list" <<'EOF'
import sys
count = missing = 0
for line in open(sys.argv[1]):
    fields = line.rstrip('\n').split('\t')
    if not fields[0] or fields[0].startswith('#'):
        continue
    count += 1
    name, path = fields[0], fields[1]
    text, replacement = fields[2].replace('\\n', '\n'), fields[3].replace('\\n', '\n')
    try:
        source = open(path).read()
    except OSError as e:
        print(f"NOT APPLIED {name}: {e}")
        missing += 1
        continue
    found = source.count(text)
    mutated = source.replace(text, replacement)
    if found != 1:
        print(f"NOT APPLIED {name}: {path}: the text is there {found} times, not once: {text!r}")
    elif mutated == source:
        print(f"NOT APPLIED {name}: {path}: the fault changes nothing")
    else:
        continue
    missing += 1
print(f"mutants: {count} faults, {count - missing} apply, {missing} do not")
sys.exit(1 if missing else 0)
EOF
  exit
fi

scripts/setup.sh >/dev/null
started=$(date +%s)
mkdir -p "$work"
rm -rf "$tree"
mkdir -p "$tree"
git ls-files -z | grep -zv '^docs/' | (cd "$root" && xargs -0 tar cf -) | tar xmf - -C "$tree"  # m: every file newer than the objects of an earlier run
cmake -S "$tree" -B "$build" -DCMAKE_BUILD_TYPE=Release -DQVLMR_SANITIZE=OFF -DQVLMR_TEST_TIMEOUT=45 >/dev/null
cmake --build "$build" -j"$(nproc)" >/dev/null

wanted=" $* "
killed=0; survived=0; equivalent=0; broken=0
: >"$work/results.txt"
: >"$work/kills.tsv"
while IFS=$'\t' read -r name file text replacement tests why; do
  case $name in ''|'#'*) continue ;; esac
  [ $# -eq 0 ] || [[ $wanted == *" $name "* ]] || continue
  # The copy's own file is kept and put back, so edits made in the work tree meanwhile
  # never mix into the run.
  cp "$tree/$file" "$work/original"
  if ! apply "$tree/$file" "$text" "$replacement" 2>"$work/apply.err"; then
    line="BROKEN $name: $(cat "$work/apply.err")"; broken=$((broken + 1))
  elif ! cmake --build "$build" -j"$(nproc)" >"$work/build.log" 2>&1; then
    line="BROKEN $name: does not build (see $work/build.log)"; broken=$((broken + 1))
  else
    filter=(-E "Stress|win32_dll"); [ "$tests" = all ] || filter=(-E win32_dll -R "$tests")
    if ctest --test-dir "$build" -j"$(nproc)" "${filter[@]}" >"$work/$name.log" 2>&1; then
      if [ -n "${why:-}" ]; then
        line="equivalent $name: $why"; equivalent=$((equivalent + 1))
      else
        line="SURVIVED $name ($file; tests: $tests)"; survived=$((survived + 1))
      fi
      seen="survived"; [ -z "${why:-}" ] || seen="equivalent: $why"
      printf '%s\t%s\t%s\n' "$name" "$file" "$seen" >>"$work/kills.tsv"
    else
      # ctest's closing list: "  12 - Suite.Name  # GetParam() = ... (Failed)", one a line
      failing=$(sed -nE 's/^[[:space:]]+[0-9]+ - ([^[:space:]]+).*\((Failed|Timeout|[A-Za-z ]+)\)$/\1/p' \
                  "$work/$name.log" | sort -u | paste -sd, - | sed 's/,/, /g' || true)
      line="killed $name ($(echo "$failing" | tr ',' '\n' | grep -c . || true) failing)"
      killed=$((killed + 1))
      printf '%s\t%s\t%s\n' "$name" "$file" "$failing" >>"$work/kills.tsv"
    fi
  fi
  cp "$work/original" "$tree/$file"  # newer than the fault's objects: rebuilt next time
  echo "$line" | tee -a "$work/results.txt"
done <"$list"
cmake --build "$build" -j"$(nproc)" >/dev/null  # the copy as it is again
seconds=$(( $(date +%s) - started ))
summary="$killed killed, $survived survived, $equivalent equivalent$([ $broken = 0 ] || echo ", $broken not applied")"
echo "mutants: $summary" | tee -a "$work/results.txt"

# A whole run's figures go into docs/testing.md between its two markers.
if [ $# -eq 0 ] && [ $broken = 0 ]; then
  python3 - "$work/kills.tsv" "$summary" "$seconds" "$(git rev-parse --short HEAD)" "$(nproc)" <<'EOF'
import sys, re
kills, summary, seconds, commit, cores = sys.argv[1:]
rows = ["| fault | file | tests that fail on it |", "|---|---|---|"]
for line in open(kills):
    name, path, seen = line.rstrip('\n').split('\t')
    rows.append(f"| `{name}` | `{path}` | {seen} |")
block = (f"The last whole run, on commit {commit} ({cores} cores): {summary}, "
         f"in {int(seconds) // 60} min {int(seconds) % 60} s.\n\n" + "\n".join(rows) + "\n")
doc = open("docs/testing.md").read()
begin, end = "<!-- mutants: begin -->\n", "<!-- mutants: end -->"
if begin not in doc or end not in doc:
    sys.exit("docs/testing.md has no mutants markers")
head, rest = doc.split(begin, 1)
open("docs/testing.md", "w").write(head + begin + block + end + rest.split(end, 1)[1])
EOF
  echo "mutants: figures written into docs/testing.md"
fi
[ $broken = 0 ] && [ $survived = 0 ]
