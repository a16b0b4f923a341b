#!/bin/sh
# Runs the manual page's loop that lists the bad files of a directory, taken from the rendered
# page as a reader copies it, on good and bad files, in each shell that is installed, and
# checks the names it prints.
#
# Usage: ManPageExampleTest.sh GROFF MANUAL_PAGE SONDRAX EXAMPLE_WAV
set -eu
if [ $# -ne 4 ]; then
  echo "usage: $0 GROFF MANUAL_PAGE SONDRAX EXAMPLE_WAV" >&2
  exit 2
fi
groff=$1
page=$2
program_dir=$(cd "$(dirname "$3")" && pwd)
example=$(cd "$(dirname "$4")" && pwd)/$(basename "$4")
work=$(mktemp -d "${TMPDIR:-/tmp}/sondrax-man-example.XXXXXX")
trap 'rm -rf "$work"' EXIT

# From the line "$ for f in *.wav; do" to "> done", without the prompts.
"$groff" -man -Tutf8 -P-cbou "$page" | awk '
  /^ *\$ for f in \*\.wav; do$/ { copying = 1 }
  copying { sub(/^ *[$>] /, ""); print }
  copying && /^done$/ { exit }' >"$work/loop.sh"
if [ "$(tail -n 1 "$work/loop.sh")" != "done" ]; then
  echo "The manual page has no loop from \"\$ for f in *.wav; do\" to \"> done\"." >&2
  exit 1
fi
echo "The loop, as the page shows it:"
cat "$work/loop.sh"

mkdir "$work/files"
cd "$work/files"
# Good files, one with a blank in its name.
cp "$example" good.wav
cp "$example" "good take.wav"
# Reports that end with an *ERROR* line, exit status 0.
{ printf RIFX; tail -c +5 "$example"; } >not-riff.wav
head -c 600 "$example" >cut-in-the-samples.wav
# Format tag 2 without a fact chunk: the report goes on after its *ERROR* line.
{ head -c 20 "$example"; printf '\002'; tail -c +22 "$example"; } >no-fact-chunk.wav
# The open error: an *ERROR* line and exit status 1.
mkdir directory.wav
# The fatal error text on standard error, exit status 1, and no *ERROR* line.
: >empty.wav
head -c 6 "$example" >six-bytes.wav
head -c 16 "$example" >cut-in-a-header.wav
{ head -c 28 "$example"; printf '\000\000\000\000'; tail -c +33 "$example"; } >zero-byte-rate.wav

expected="cut-in-a-header.wav
cut-in-the-samples.wav
directory.wav
empty.wav
no-fact-chunk.wav
not-riff.wav
six-bytes.wav
zero-byte-rate.wav"

failed=0
shells=0
for shell in sh bash dash zsh; do
  command -v "$shell" >/dev/null 2>&1 || continue
  shells=$((shells + 1))
  listed=$(PATH="$program_dir:$PATH" LC_ALL=C "$shell" "$work/loop.sh" 2>"$work/stderr") || true
  if [ "$listed" = "$expected" ]; then
    echo "$shell: lists the $(echo "$expected" | wc -l) bad files, and no good one"
  else
    echo "$shell: the loop listed" >&2
    echo "$listed" >&2
    echo "$shell: instead of" >&2
    echo "$expected" >&2
    echo "$shell: and wrote to standard error:" >&2
    cat "$work/stderr" >&2
    failed=1
  fi
done
[ "$shells" -gt 0 ] && [ "$failed" -eq 0 ]
