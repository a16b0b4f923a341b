#!/usr/bin/env bash
# Start-up benchmark: Sondrax against a floor program and the WAVE inspectors installed here.
#
#   bench/run.sh [--dynamic] [--strace]
#
# Builds Sondrax (Release, build-bench/), a floor program (static C: opens the file and reads
# 64 bytes) and a helper that measures peak memory, writes seven WAVE files, times every
# program on every file with hyperfine and prints one table per file. hyperfine times one
# program after the other, so a machine whose load changes favours some of them; the whole
# row list is therefore timed in several rounds, and each figure is the median over the rounds:
#
#   median    the median wall time of one run (hyperfine's median in each round)
#   spread    how far the rounds' medians lie apart, in percent of the median: the noise
#   x floor   the median divided by the floor's median of the same round
#   max RSS   peak resident set size (KiB), the largest of five runs
#   syscalls  system calls of one run under strace -f, execve included
#
# Output goes to a pipe that is drained and discarded, as in `sondrax f.wav | less`; one extra
# row shows Sondrax writing to /dev/null, where the report is handed over after every
# statement instead of every 128 bytes. Peers that are not installed, or that fail on a file,
# are left out with a note.
#
#   --dynamic  also build Sondrax linked dynamically (build-bench/dynamic) and time it
#   --strace   also print Sondrax's full system call trace for the first file
#
# Environment: BENCH_ROUNDS (default 3); BENCH_WARMUP (default 10), BENCH_MIN_RUNS (default
# 30) and BENCH_MAX_RUNS (default 500) are handed to hyperfine for each round; CC (default cc)
# builds the two helpers. Not part of CI: the figures depend on the machine and on what else
# runs on it.
set -euo pipefail
export LC_ALL=C  # decimal points for sort and awk
cd "$(dirname "$0")/.."

with_dynamic=0
with_strace=0
for argument in "$@"; do
  case "$argument" in
  --dynamic) with_dynamic=1 ;;
  --strace) with_strace=1 ;;
  *)
    echo "usage: bench/run.sh [--dynamic] [--strace]" >&2
    exit 2
    ;;
  esac
done

rounds=${BENCH_ROUNDS:-3}
min_runs=${BENCH_MIN_RUNS:-30}
max_runs=${BENCH_MAX_RUNS:-500}
warmup=${BENCH_WARMUP:-10}
cc=${CC:-cc}
work=build-bench/bench
data=$work/data
mkdir -p "$data"

if ! command -v hyperfine >/dev/null; then
  echo "bench/run.sh needs hyperfine (apt-get install hyperfine)" >&2
  exit 1
fi
have_strace=0
if command -v strace >/dev/null; then
  have_strace=1
else
  echo "note: strace is not installed; the syscalls column shows n/a" >&2
fi

# ---- Programs ---------------------------------------------------------------------------

generator=()
if command -v ninja >/dev/null; then
  generator=(-G Ninja)
fi
echo "== Building Sondrax (Release, build-bench)" >&2
cmake -S . -B build-bench "${generator[@]}" -DCMAKE_BUILD_TYPE=Release -DSONDRAX_TESTS=OFF \
  >/dev/null
cmake --build build-bench -j 2 --target sondrax >/dev/null
sondrax=./build-bench/sondrax

sondrax_dynamic=
if [ "$with_dynamic" = 1 ]; then
  echo "== Building Sondrax linked dynamically (build-bench/dynamic)" >&2
  cmake -S . -B build-bench/dynamic "${generator[@]}" -DCMAKE_BUILD_TYPE=Release \
    -DSONDRAX_TESTS=OFF -DSONDRAX_STATIC=OFF >/dev/null
  cmake --build build-bench/dynamic -j 2 --target sondrax >/dev/null
  sondrax_dynamic=./build-bench/dynamic/sondrax
fi

floor=./$work/floor
if ! "$cc" -O2 -static -o "$floor" bench/floor.c 2>/dev/null; then
  echo "note: static linking failed; the floor is linked dynamically" >&2
  "$cc" -O2 -o "$floor" bench/floor.c
fi
maxrss=./$work/maxrss
"$cc" -O2 -o "$maxrss" bench/maxrss.c

# ---- Files ------------------------------------------------------------------------------

# The escapes for a 16-bit or 32-bit little-endian number, for printf '%b'.
le16() { printf '\\x%02x\\x%02x' $(($1 & 255)) $((($1 >> 8) & 255)); }
le32() { printf '%s%s' "$(le16 $(($1 & 65535)))" "$(le16 $((($1 >> 16) & 65535)))"; }

# RIFF header, 16-byte "fmt " chunk for PCM and the "data" chunk header.
# wav_header DATA_SIZE TRAILING_BYTES CHANNELS RATE BITS
wav_header() {
  local data_size=$1 trailing=$2 channels=$3 rate=$4 bits=$5
  local block=$((channels * bits / 8))
  printf '%b' "RIFF$(le32 $((36 + data_size + trailing)))WAVE"
  printf '%b' "fmt $(le32 16)$(le16 1)$(le16 "$channels")$(le32 "$rate")$(le32 $((rate * block)))"
  printf '%b' "$(le16 $block)$(le16 "$bits")data$(le32 "$data_size")"
}

# One INFO item; an odd-sized text gets its zero pad byte.
info_item() {
  local id=$1 text=$2
  local size=$((${#text} + 1))
  printf '%s' "$id"
  printf '%b' "$(le32 $size)"
  printf '%s\0' "$text"
  if [ $((size % 2)) = 1 ]; then printf '\0'; fi
}

# 10 s of 16-bit stereo at 44100 Hz: a sine tone from sox (undithered, so the same bytes every
# time), or silence without sox.
samples=$data/samples.raw
data_size=$((10 * 44100 * 4))
if [ ! -s "$samples" ]; then
  if command -v sox >/dev/null; then
    sox -D -n -t raw -r 44100 -c 2 -b 16 -e signed-integer "$samples" synth 10 sine 440 vol 0.5
  else
    head -c "$data_size" /dev/zero >"$samples"
  fi
fi

pcm=$data/pcm-10s.wav
{ wav_header "$data_size" 0 2 44100 16; cat "$samples"; } >"$pcm"

# The same sound with a LIST/INFO chunk after the samples, as tagging programs write it.
tagged=$data/tagged-10s.wav
list=$data/list.bin
{
  printf 'INFO'
  info_item INAM "Benchmark tone, 440 Hz"
  info_item IART "Sondrax benchmark"
  info_item ICMT "Ten seconds of a sine tone in 16-bit stereo PCM."
  info_item ISFT "bench/run.sh"
} >"$list.body"
list_size=$(stat -c %s "$list.body")
{ printf '%b' "LIST$(le32 "$list_size")"; cat "$list.body"; } >"$list"
{ wav_header "$data_size" $((8 + list_size)) 2 44100 16; cat "$samples" "$list"; } >"$tagged"

# 1 GiB: a header, then a hole. Nothing reads the samples, so no disk space is used for them.
sparse=$data/sparse-1g.wav
gib=$((1 << 30))
wav_header $((gib - 44)) 0 2 44100 16 >"$sparse"
truncate -s "$gib" "$sparse"

# 3 GiB of samples in a hole, then the same INFO list: a file of more than 2 GiB is reported in
# full, and no slower than a small one.
sparse3=$data/sparse-3g-tagged.wav
gib3=$((3 << 30))
wav_header "$gib3" $((8 + list_size)) 2 44100 16 >"$sparse3"
truncate -s $((44 + gib3)) "$sparse3"
cat "$list" >>"$sparse3"

# A header that was never updated after the recording stopped (a crashed recorder): 1000
# bytes of samples, then 64 MiB of zero bytes (digital silence, really on disk), which the LIST
# search walks as empty chunks; and the same with a 1 GiB hole.
zero_tail=$data/zero-tail-64m.wav
if [ ! -s "$zero_tail" ]; then
  { wav_header 1000 0 2 44100 16; head -c 1000 "$samples"; head -c $((64 << 20)) /dev/zero; } \
    >"$zero_tail"
fi
zero_tail_sparse=$data/zero-tail-1g.wav
{ wav_header 1000 0 2 44100 16; head -c 1000 "$samples"; } >"$zero_tail_sparse"
truncate -s $((gib + 4)) "$zero_tail_sparse"  # whole empty headers up to the end

# 100,000 small chunks before the format chunk and 100,000 after the samples: walks that read
# a header and pass over a body 200,000 times.
many=$data/chunks-100k.wav
if [ ! -s "$many" ]; then
  chunk=$data/chunk.bin
  printf '%b' "JUNK$(le32 4)abcd" >"$chunk"
  for _ in $(seq 10); do cat "$chunk"; done >"$chunk.10"
  for _ in $(seq 100); do cat "$chunk.10"; done >"$chunk.1000"
  for _ in $(seq 100); do cat "$chunk.1000"; done >"$chunk.100k"
  junk_bytes=$(stat -c %s "$chunk.100k")
  {
    printf '%b' "RIFF$(le32 $((4 + 2 * junk_bytes + 24 + 8 + data_size)))WAVE"
    cat "$chunk.100k"
    wav_header "$data_size" 0 2 44100 16 | tail -c +13
    cat "$samples" "$chunk.100k"
  } >"$many"
  rm -f "$chunk" "$chunk.10" "$chunk.1000" "$chunk.100k"
fi

files=("$pcm" "$tagged" "$sparse" "$sparse3" "$zero_tail" "$zero_tail_sparse" "$many")

# ---- Measuring --------------------------------------------------------------------------

hyperfine_flags=(--style none --warmup "$warmup" --min-runs "$min_runs" --max-runs "$max_runs")
if hyperfine --help | grep -q -- '--shell <'; then
  hyperfine_flags+=(-N)  # no shell in between: its start-up would dwarf Sondrax's
fi

# median_seconds OUTPUT(pipe|null) COMMAND...
median_seconds() {
  local output=$1
  shift
  local csv=$work/hyperfine.csv
  # hyperfine's warnings about outliers go to a log; the table says how noisy the machine was.
  if ! hyperfine "${hyperfine_flags[@]}" --output "$output" --export-csv "$csv" \
    "$(printf '%q ' "$@")" >/dev/null 2>"$work/hyperfine.log"; then
    cat "$work/hyperfine.log" >&2
    return 1
  fi
  awk -F, 'NR == 2 { print $4 }' "$csv"
}

# The median of the numbers given as arguments.
median_of() {
  printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END {
    print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

# peak_rss OUTPUT COMMAND...: the largest of five runs, in KiB.
peak_rss() {
  local output=$1 flag=() best=0 value
  shift
  if [ "$output" = null ]; then flag=(--null); fi
  for _ in 1 2 3 4 5; do
    value=$("$maxrss" "${flag[@]}" "$@" 2>/dev/null) || true
    value=${value:-0}
    if [ "$value" -gt "$best" ]; then best=$value; fi
  done
  echo "$best"
}

# syscall_count OUTPUT COMMAND...
syscall_count() {
  local output=$1
  shift
  if [ "$have_strace" = 0 ]; then
    echo n/a
    return
  fi
  local log=$work/strace.txt
  if [ "$output" = null ]; then
    strace -f -c -o "$log" -- "$@" >/dev/null 2>&1 || true
  else
    strace -f -c -o "$log" -- "$@" 2>/dev/null | cat >/dev/null || true
  fi
  awk '$NF == "total" { print $4 }' "$log"
}

peers=(
  "soxi|soxi"
  "ffprobe|ffprobe -hide_banner"
  "mediainfo|mediainfo"
  "sndfile-info|sndfile-info"
  "exiftool|exiftool"
  "shntool|shntool info"
)

echo "Machine: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//'), \
$(nproc) cores, Linux $(uname -r)"
echo "Load average before: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "hyperfine: $(hyperfine --version | cut -d' ' -f2), $rounds rounds of $min_runs to $max_runs \
runs after $warmup warm-up runs"

# Paths are relative to the checkout, so that they split into words even if its own path has
# blanks in it.
add() { names+=("$1"); outputs+=("$2"); commands+=("$3"); }

for file in "${files[@]}"; do
  names=()
  outputs=()
  commands=()
  add floor pipe "$floor"
  # Reading every byte of the file: what a walk over all of it costs at most.
  add "cat >/dev/null" null cat
  add sondrax pipe "$sondrax"
  add "sondrax >/dev/null" null "$sondrax"
  if [ -n "$sondrax_dynamic" ]; then
    add "sondrax, dynamic" pipe "$sondrax_dynamic"
  fi
  notes=()
  for peer in "${peers[@]}"; do
    name=${peer%%|*}
    command=${peer#*|}
    program=${command%% *}
    if ! command -v "$program" >/dev/null; then
      notes+=("$name: not installed")
      continue
    fi
    status=0
    # shellcheck disable=SC2086  # the peer's command is split into its words on purpose
    timeout 10 $command "$file" >/dev/null 2>&1 || status=$?
    if [ "$status" != 0 ]; then
      if [ "$status" = 124 ]; then
        notes+=("$name: over 10 s on this file, not timed")
      else
        notes+=("$name: fails on this file")
      fi
      continue
    fi
    add "$name" pipe "$command"
  done

  echo >&2 "== Timing on $(basename "$file"): ${#names[@]} programs, $rounds rounds"
  declare -A medians=()
  for ((round = 1; round <= rounds; round++)); do
    for i in "${!names[@]}"; do
      # shellcheck disable=SC2206  # as above
      words=(${commands[$i]})
      medians[$i,$round]=$(median_seconds "${outputs[$i]}" "${words[@]}" "$file")
    done
  done

  echo
  echo "$(basename "$file") ($(stat -c %s "$file") bytes)"
  printf '%-20s %10s %7s %8s %11s %9s\n' program median spread "x floor" "max RSS" syscalls
  for i in "${!names[@]}"; do
    times=()
    ratios=()
    for ((round = 1; round <= rounds; round++)); do
      times+=("${medians[$i,$round]}")
      ratios+=("$(awk -v m="${medians[$i,$round]}" -v f="${medians[0,$round]}" \
        'BEGIN { print m / f }')")
    done
    median=$(median_of "${times[@]}")
    ratio=$(median_of "${ratios[@]}")
    spread=$(printf '%s\n' "${times[@]}" | sort -g | sed -n '1p;$p' | tr '\n' ' ')
    # shellcheck disable=SC2206  # as above
    words=(${commands[$i]})
    rss=$(peak_rss "${outputs[$i]}" "${words[@]}" "$file")
    calls=$(syscall_count "${outputs[$i]}" "${words[@]}" "$file")
    awk -v name="${names[$i]}" -v m="$median" -v range="$spread" -v r="$ratio" -v rss="$rss" \
      -v calls="$calls" 'BEGIN { split(range, x, " ");
        printf "%-20s %7.3f ms %6.0f%% %7.2fx %7d KiB %9s\n",
               name, m * 1000, (x[2] - x[1]) / m * 100, r, rss, calls }'
  done
  unset medians
  for note in "${notes[@]+"${notes[@]}"}"; do
    echo "  ($note)"
  done
done

echo
echo "Load average after: $(cut -d' ' -f1-3 /proc/loadavg)"

if [ "$with_strace" = 1 ] && [ "$have_strace" = 1 ]; then
  echo
  echo "== Sondrax's system calls on $(basename "${files[0]}"), output to a pipe"
  strace -o "$work/sondrax-trace.txt" -- "$sondrax" "${files[0]}" | cat >/dev/null
  cat "$work/sondrax-trace.txt"
fi
