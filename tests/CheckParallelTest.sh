#!/bin/sh
# The README's recipe for spreading a list over several machines, on this one: GNU parallel
# cuts the list into pieces, one sondrax-check a piece (through --sshlogin ":", this machine),
# and the JSON Lines of all pieces must be the lines of one run over the whole list.
# Usage: CheckParallelTest.sh SONDRAX_CHECK TEST_DATA_FOLDER
set -eu
check=$1
data=$2
if ! parallel --version 2>/dev/null | grep -q 'GNU parallel'; then
  echo "SKIPPED: GNU parallel is not installed (tools/install-deps.sh installs it with the linux part)"
  exit 77
fi
work=$(mktemp -d "${TMPDIR:-/tmp}/sondrax-parallel.XXXXXX")
trap 'rm -rf "$work"' EXIT
# A corpus of 40 copies of the test files, with a name that needs escaping and one that is
# missing.
i=0
while [ $i -lt 40 ]; do
  mkdir "$work/$i"
  cp "$data"/*.wav "$data"/real/*.wav "$work/$i/"
  i=$((i + 1))
done
printf 'RIFF' >"$work/0/$(printf 'tab\there.wav')"
find "$work" -type f -name '*.wav' >"$work/list"
echo "$work/missing.wav" >>"$work/list"
"$check" --json --files-from "$work/list" | sort >"$work/one"
parallel --will-cite --pipe -N 50 --sshlogin : "$check" --json --files-from - \
  <"$work/list" | sort >"$work/many"
lines=$(wc -l <"$work/one")
[ "$lines" -eq $(($(wc -l <"$work/list"))) ] || { echo "one run: $lines lines"; exit 1; }
if ! cmp -s "$work/one" "$work/many"; then
  echo "the pieces' lines differ from one run's:"
  diff "$work/one" "$work/many" | head -5
  exit 1
fi
echo "$lines lines, the same from one run and from parallel"
