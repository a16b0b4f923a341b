#!/usr/bin/env bash
# Fuzzes the whole report with libFuzzer (clang, ASan + UBSan) for a while.
#
# Usage: tools/fuzz.sh [SECONDS]      (default 600; the fuzz preset's test runs it for 60)
#
# Builds build-fuzz/ (the fuzz preset), seeds the corpus build-fuzz/corpus with the real files
# of tests/data and the composed files of fuzz/make-seeds.py, and runs one fuzzing process so
# that the machine stays usable. The corpus is kept between runs and grows. libFuzzer's own
# output goes to build-fuzz/fuzz.log (follow it with tail -f); the script prints a summary, and
# on a failure the end of the log. A finding is saved under build-fuzz/artifacts/ and makes the
# script fail; reproduce it with
#   build-fuzz/fuzz/FuzzReport build-fuzz/artifacts/crash-...
# and keep it as a regression test before fixing it.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-600}
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz

mkdir -p build-fuzz/corpus build-fuzz/seeds build-fuzz/artifacts
cp tests/data/*.wav tests/data/real/*.wav build-fuzz/seeds/
python3 fuzz/make-seeds.py build-fuzz/seeds

# -timeout: a report on a few kilobytes takes well under a millisecond; a second means a walk
# that does not end. -max_len: the structures lie in the first bytes; the real seeds longer
# than this are cut. -rss_limit_mb: the report needs little; most of it is the sanitizer's
# quarantine of freed memory.
log=build-fuzz/fuzz.log
echo "fuzz: $seconds s; libFuzzer's output goes to $log"
status=0
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  build-fuzz/fuzz/FuzzReport -max_total_time="$seconds" -timeout=1 -rss_limit_mb=1024 \
  -max_len=4096 -dict=fuzz/sondrax.dict -artifact_prefix=build-fuzz/artifacts/ \
  -print_final_stats=1 build-fuzz/corpus build-fuzz/seeds >"$log" 2>&1 || status=$?

# The first and the last status line ("#runs INITED cov: .. ft: .. corp: n/size ...") and the
# final statistics.
awk '
  $2 ~ /^(INITED|NEW|REDUCE|pulse|DONE)$/ {
    for (i = 3; i < NF; i++) {
      if ($i == "cov:") cov = $(i + 1)
      if ($i == "ft:") ft = $(i + 1)
      if ($i == "corp:") { corp = $(i + 1); sub(/\/.*/, "", corp) }
    }
    if ($2 == "INITED") { cov0 = cov; ft0 = ft; corp0 = corp }
  }
  /^stat::number_of_executed_units:/ { runs = $2 }
  /^stat::average_exec_per_sec:/ { rate = $2 }
  /^stat::peak_rss_mb:/ { rss = $2 }
  END {
    if (cov0 == "") { print "fuzz: the fuzzer never got through its seeds"; exit }
    printf "fuzz: %s runs (%s/s); coverage %s -> %s, features %s -> %s, corpus %s -> %s inputs; " \
           "peak memory %s MB\n", runs == "" ? "?" : runs, rate == "" ? "?" : rate, cov0, cov,
           ft0, ft, corp0, corp, rss == "" ? "?" : rss
  }' "$log"
if [ "$status" -ne 0 ]; then
  echo "fuzz: FAILED (libFuzzer exit status $status); the end of $log:"
  tail -n 60 "$log"
  sed -n 's/.*Test unit written to //p' "$log" | while read -r finding; do
    echo "fuzz: finding $finding; reproduce: build-fuzz/fuzz/FuzzReport $finding"
  done
  exit "$status"
fi
echo "fuzz: no finding"
