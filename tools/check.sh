#!/usr/bin/env bash
# Builds Sondrax and runs every test: one stage for each workflow preset of CMakePresets.json,
# in the order below (the release build and its suite first, since the other builds are checked
# against its program).
#
# Usage: tools/check.sh [--quick] [--strict]
#   --quick:  the release workflow only (the development loop; under a minute on a built tree)
#   --strict: a stage that cannot run, or a test that is skipped, is a failure (for a release)
#
# Every stage runs, whatever became of the ones before; the run ends with a table of the
# stages, their results, and their seconds (wall clock and processor), and fails if any stage
# failed. A stage whose packages could not be installed (tools/install-deps.sh says why) is
# SKIPPED with that reason, and so is one whose tests CTest skipped (exit status 77) with the
# reasons they gave; the core stages (release, lint, asan, fuzz) fail instead.
set -euo pipefail
cd "$(dirname "$0")/.."

quick=false
strict=false
for option in "$@"; do
  case $option in
    --quick) quick=true ;;
    --strict) strict=true ;;
    *)
      echo "usage: $0 [--quick] [--strict]" >&2
      exit 2
      ;;
  esac
done
run_dir=$(mktemp -d "${TMPDIR:-/tmp}/sondrax-check.XXXXXX")
trap 'rm -rf "$run_dir"' EXIT
# One line per part of install-deps.sh: "PART<tab>ok", or the part and why it is missing.
deps=$run_dir/deps
if [ "$quick" = true ]; then
  tools/install-deps.sh --status "$deps" linux
else
  tools/install-deps.sh --status "$deps" all || true
fi

# The stages: workflow preset, core or optional, the parts of install-deps.sh it needs, title.
stages=(
  "release|core|build linux|Release build and suite (GCC)"
  "lint|core|build lint|lint (clang-format, clang-tidy, shellcheck, biome, cmake-format)"
  "x87|optional|build|x87 comparison (10 million play times)"
  "web|optional|web|WebAssembly build, its tests under node"
  "page|optional|web browser|the page in Chromium"
  "asan|core|build linux hardening|sanitizer build and suite (Clang, ASan + UBSan)"
  "stress|optional|hardening|stress: the sanitizer build on 1000 mutated files"
  "fuzz|core|hardening|fuzz (libFuzzer, ASan + UBSan, 60 s)"
  "win32|optional|windows wine linux|Windows i686: build, suite, console, cross-check (wine)"
  "win64|optional|windows wine linux|Windows x86-64: build, suite, console, cross-check (wine64)"
  "s390x|optional|cross qemu|s390x: build, suite and cross-check under qemu"
  "aarch64|optional|cross qemu|aarch64: build and cross-check under qemu"
  "arm|optional|cross qemu|armhf: build and cross-check under qemu"
  "riscv64|optional|cross qemu|riscv64: build and cross-check under qemu"
  "packages|optional|build packages windows web|packages: lintian, .deb and zips reproducible, npm offline"
)
[ "$quick" = false ] || stages=("${stages[0]}")

rows=()
passed=0
failed=0
skipped=0
# Sets cpu to the processor seconds of the finished processes the run has started: on a shared
# machine the wall-clock seconds of a stage grow with the load, these hardly. (times must run
# in this shell: in a command substitution it would see only that subshell's children.)
cpu_seconds() {
  times >"$run_dir/times"
  cpu=$(awk 'NR == 2 { split($1, user, /[ms]/); split($2, kernel, /[ms]/)
                       printf "%d\n", user[1] * 60 + user[2] + kernel[1] * 60 + kernel[2] }' \
    "$run_dir/times")
}
for stage in "${stages[@]}"; do
  IFS='|' read -r preset kind parts title <<<"$stage"
  start=$SECONDS
  cpu_seconds
  start_cpu=$cpu
  echo "== $title: cmake --workflow --preset $preset"
  why=""
  for part in $parts; do
    why=$(awk -F '\t' -v part="$part" '$1 == part { print $2; found = 1 }
      END { if (!found) print "not checked by tools/install-deps.sh" }' "$deps")
    [ "$why" = ok ] && why="" && continue
    why="$part: $why"
    break
  done
  result=passed
  if [ -z "$why" ]; then
    status=0
    cmake --workflow --preset "$preset" </dev/null 2>&1 | tee "$run_dir/log" || status=$?
    # The tests CTest skipped say why on a line "SKIPPED...: why" in the test log of the build
    # directory the configure step names.
    binary_dir=$(sed -n 's/^-- Build files have been written to: //p' "$run_dir/log" | tail -1)
    if [ "$status" -ne 0 ]; then
      result=FAILED
    elif grep -q '(Skipped)$' "$run_dir/log" && [ -n "$binary_dir" ]; then
      # (A GoogleTest case that skips itself, "[  SKIPPED ]", is no missing tool: an x87 test
      # on another processor, say.)
      why=$(sed -n 's/^SKIPPED[^:]*: //p' "$binary_dir/Testing/Temporary/LastTest.log" |
        sort -u | paste -sd ';' | sed 's/;/; /g')
    fi
  fi
  if [ -n "$why" ] && [ "$result" = passed ]; then
    if [ "$kind" = core ] || [ "$strict" = true ]; then
      result="FAILED: $why"
    else
      result="SKIPPED: $why"
    fi
  fi
  case $result in
    passed) passed=$((passed + 1)) ;;
    FAILED*) failed=$((failed + 1)) ;;
    *) skipped=$((skipped + 1)) ;;
  esac
  cpu_seconds
  rows+=("$title"$'\t'"$((SECONDS - start))"$'\t'"$((cpu - start_cpu))"$'\t'"$result")
  echo "-- $title: $result ($((SECONDS - start)) s)"
done

# The table of every stage, and a closing line with the counts. The result last: a reason for a
# skip can be long.
echo
printf '%s\n' "stage"$'\t'"seconds"$'\t'"CPU seconds"$'\t'"result" "${rows[@]}" |
  awk -F '\t' '{ for (i = 1; i <= 3; i++) { cell[NR, i] = $i
                                             if (length($i) > width[i]) width[i] = length($i) }
                  cell[NR, 4] = $4 }
    END { for (r = 1; r <= NR; r++)
            printf "%-*s  %*s  %*s  %s\n", width[1], cell[r, 1], width[2], cell[r, 2],
                   width[3], cell[r, 3], cell[r, 4] }'
echo "check: $passed passed, $failed failed, $skipped skipped"
[ "$quick" = false ] || echo "== Done (--quick: the release workflow only; tools/check.sh runs every stage)"
exit $((failed > 0))
