#!/usr/bin/env bash
# sondrax-check's speed and memory, side by side in one run; prints a table, passes or fails
# nothing (the figures depend on the machine and its load).
#
#   bench/check.sh [SONDRAX_CHECK]      # default build/sondrax-check, built when missing
#
# Over 20,000 small WAVE files (copies of examples/example.wav in 20 folders) with a warm
# cache: cat reading them all (the floor: opening and reading every file), sondrax-check with
# one job and with two, and the inspectors installed here: ffprobe (a process a file, on the
# first 200 files), mediainfo and soxi (many files a call, on the first 2,000). Then the peak
# memory for a list of 10 million names on standard input (names of missing files, so that the
# run costs seconds: each still gets its line), and one 3 GiB sparse file against one small
# file. Each time is the median of BENCH_ROUNDS (default 3) runs; memory is the peak resident
# set size of the program itself (GNU time).
#
# Environment: BENCH_ROUNDS, BENCH_FILES (default 20000), BENCH_LIST (default 10000000).
set -euo pipefail
export LC_ALL=C
cd "$(dirname "$0")/.."
check=${1:-build/sondrax-check}
rounds=${BENCH_ROUNDS:-3}
files=${BENCH_FILES:-20000}
list=${BENCH_LIST:-10000000}
if [ ! -x "$check" ]; then
  cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build build --target sondrax-check -j 2 >/dev/null
fi
[ -x /usr/bin/time ] || { echo "bench/check.sh needs GNU time (/usr/bin/time)" >&2; exit 2; }
work=$(mktemp -d "${TMPDIR:-/tmp}/sondrax-bench-check.XXXXXX")
trap 'rm -rf "$work"' EXIT

# The corpus: 20 folders of files/20 copies, written by tee in batches.
per=$((files / 20))
for folder in $(seq 1 20); do
  mkdir "$work/$folder"
  seq 1 "$per" | sed "s|.*|$work/$folder/take&.wav|" |
    xargs sh -c 'tee "$@" <examples/example.wav >/dev/null' _
done
find "$work" -name '*.wav' | sort >"$work/names"
head -n 200 "$work/names" >"$work/names200"
head -n 2000 "$work/names" >"$work/names2000"
xargs cat <"$work/names2000" >/dev/null  # warm the cache
find "$work" -name '*.wav' -print0 | xargs -0 cat >/dev/null

# Runs the command line "$@" `rounds` times, output discarded; prints the median seconds and
# the largest peak resident set size (KiB) of the runs.
measure() {
  local times=() start end peak rss=0
  for _ in $(seq 1 "$rounds"); do
    start=$EPOCHREALTIME
    /usr/bin/time -f %M -o "$work/rss" "$@" >/dev/null 2>&1 || true
    end=$EPOCHREALTIME
    times+=("$(echo "$end - $start" | bc -l)")
    peak=$(tail -n 1 "$work/rss")
    if [ "$peak" -gt "$rss" ]; then rss=$peak; fi
  done
  echo "$(printf '%s\n' "${times[@]}" | sort -g | sed -n "$(((rounds + 1) / 2))p") $rss"
}

row() {  # NAME FILES SECONDS RSS [NOTE]
  printf '%-34s %8s %9.3f s %10.0f files/s %9s KiB  %s\n' "$1" "$2" "$3" "$(echo "$2 / $3" | bc -l)" \
    "$4" "${5:-}"
}

echo "sondrax-check: $(nproc) processors, $(uname -sr), $files files of $(stat -c %s examples/example.wav) bytes"
printf '%-34s %8s %11s %16s %13s\n' program files time rate "max RSS"
read -r cat_time rss < <(measure sh -c "find '$work' -name '*.wav' -print0 | xargs -0 cat")
row "cat (find | xargs cat)" "$files" "$cat_time" "$rss"
read -r one rss < <(measure "$check" -j 1 "$work")
row "sondrax-check -j 1" "$files" "$one" "$rss" \
  "$(echo "$one / $cat_time" | bc -l | xargs printf '%.2fx cat')"
read -r two rss < <(measure "$check" -j 2 "$work")
row "sondrax-check -j 2" "$files" "$two" "$rss" \
  "$(echo "$one / $two" | bc -l | xargs printf '%.2fx faster than -j 1')"
read -r json rss < <(measure "$check" -j 2 --json "$work")
row "sondrax-check -j 2 --json" "$files" "$json" "$rss"
if command -v ffprobe >/dev/null; then
  read -r t rss < <(measure sh -c \
    "while read -r f; do ffprobe -v error -show_format -of json \"\$f\"; done <'$work/names200'")
  row "ffprobe (a process a file)" 200 "$t" "$rss"
fi
if command -v mediainfo >/dev/null; then
  read -r t rss < <(measure sh -c "xargs mediainfo --Output=JSON <'$work/names2000'")
  row "mediainfo (many files a call)" 2000 "$t" "$rss"
fi
if command -v soxi >/dev/null; then
  read -r t rss < <(measure sh -c "xargs soxi <'$work/names2000'")
  row "soxi (many files a call)" 2000 "$t" "$rss"
fi

# Memory for a list of 10 million names, streamed through standard input.
start=$EPOCHREALTIME
yes "$work/missing.wav" | head -n "$list" |
  /usr/bin/time -f %M -o "$work/rss" "$check" --files-from - >/dev/null || true
end=$EPOCHREALTIME
row "sondrax-check, a list on stdin" "$list" "$(echo "$end - $start" | bc -l)" \
  "$(tail -n 1 "$work/rss")" "(missing files: an unreadable line each)"

# A 3 GiB file costs what a small one does: the samples are never read.
python3 - "$work/big.wav" <<'EOF'
import struct, sys
size = 3 * 1024**3
header = (b"RIFF" + struct.pack("<I", size - 8) + b"WAVE" + b"fmt " +
          struct.pack("<IHHIIHH", 16, 1, 2, 44100, 176400, 4, 16) + b"data" +
          struct.pack("<I", size - 44))
with open(sys.argv[1], "wb") as f:
    f.write(header)
    f.truncate(size)
EOF
rounds=21
read -r small rss < <(measure "$check" "$work/1/take1.wav")
row "sondrax-check, one small file" 1 "$small" "$rss"
read -r big rss < <(measure "$check" "$work/big.wav")
row "sondrax-check, one 3 GiB file" 1 "$big" "$rss" "$("$check" "$work/big.wav" | cut -f1,3)"
