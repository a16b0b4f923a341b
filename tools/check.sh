#!/usr/bin/env bash
# Builds Sondrax and runs every test, stage by stage: the optimised build with GCC and its
# suite; lint; its extended arithmetic against the x87 unit; the WebAssembly build under node
# and the page in Chromium; an AddressSanitizer + UndefinedBehaviorSanitizer build with Clang,
# on mutated files too, and a bounded libFuzzer run; the 32-bit Windows build, its suite and
# the cross-check under wine; the Linux cross-builds for aarch64, armhf, s390x and riscv64, the
# s390x suite and the cross-check of each under qemu; last the packages users install: lintian
# on the Debian package, the .deb and the Windows zip built from two folders, the npm package
# installed from its tarball without a network.
#
# Usage: tools/check.sh [--quick] [--strict]
#   --quick:  the Release build and its tests only (the development loop; under a minute on a
#             built tree)
#   --strict: a stage that cannot run is a failure (for a release), not a skip
#
# Every stage runs, whatever became of the ones before; the run ends with a table of the
# stages, their results, and their seconds (wall clock and processor), and fails if any stage
# failed. A stage whose tools could not be installed (tools/install-deps.sh says why) is
# SKIPPED with that reason, except the core stages (the Release build and suite, lint, the
# sanitizer build and suite, the fuzz run), where that is a failure.
#
# Each compiler has a build directory of its own: build/ (GCC, shared with run-example.sh),
# build-asan/ and build-fuzz/ (Clang), build-web/ (emscripten), build-win/ (MinGW-w64),
# build-<processor>/ (the cross compilers).
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
jobs=$(nproc 2>/dev/null || echo 2)
run_dir=$(mktemp -d "${TMPDIR:-/tmp}/sondrax-check.XXXXXX")
cleanup() {
  if [ -d "$run_dir/wine/prefix" ]; then
    WINEPREFIX="$run_dir/wine/prefix" TMPDIR="$run_dir/wine" wineserver -k 2>/dev/null || true
  fi
  rm -rf "$run_dir"
}
trap cleanup EXIT
# One line per part of install-deps.sh: "PART<tab>ok", or the part and why it is missing.
deps=$run_dir/deps
if [ "$quick" = true ]; then
  tools/install-deps.sh --status "$deps" linux
else
  tools/install-deps.sh --status "$deps" all || true
fi

# ---- Running a stage -------------------------------------------------------------------------
# stage NAME core|optional "PARTS" FUNCTION: runs FUNCTION in a subshell with set -e once the
# parts of install-deps.sh it needs are there, times it and records its result. In FUNCTION,
# `skip REASON` ends the stage as skipped (for what the parts cannot say, a processor say).
rows=()
passed=0
failed=0
skipped=0
skip() {
  echo "$*" >"$run_dir/skip"
  exit 77
}
# Sets cpu to the processor seconds of the finished processes the run has started: on a shared
# machine the wall-clock seconds of a stage grow with the load, these hardly. (times must run
# in this shell: in a command substitution it would see only that subshell's children.)
cpu_seconds() {
  times >"$run_dir/times"
  cpu=$(awk 'NR == 2 { split($1, user, /[ms]/); split($2, kernel, /[ms]/)
                       printf "%d\n", user[1] * 60 + user[2] + kernel[1] * 60 + kernel[2] }' \
    "$run_dir/times")
}
stage() {
  local name=$1 kind=$2 parts=$3 function=$4 part why="" status result
  local start=$SECONDS cpu start_cpu
  cpu_seconds
  start_cpu=$cpu
  echo "== $name"
  for part in $parts; do
    why=$(awk -F '\t' -v part="$part" '$1 == part { print $2; found = 1 }
      END { if (!found) print "not checked by tools/install-deps.sh" }' "$deps")
    if [ "$why" = ok ]; then
      why=""
    else
      why="$part: $why"
      break
    fi
  done
  rm -f "$run_dir/skip"
  if [ -z "$why" ]; then
    set +e
    (
      set -e
      "$function"
    )
    status=$?
    set -e
    if [ "$status" -eq 77 ] && [ -f "$run_dir/skip" ]; then
      why=$(cat "$run_dir/skip")
    elif [ "$status" -ne 0 ]; then
      result="FAILED"
    fi
  fi
  if [ -z "$why" ]; then
    result=${result:-passed}
  elif [ "$kind" = core ] || [ "$strict" = true ]; then
    result="FAILED: $why"
  else
    result="SKIPPED: $why"
  fi
  case $result in
    passed) passed=$((passed + 1)) ;;
    FAILED*) failed=$((failed + 1)) ;;
    *) skipped=$((skipped + 1)) ;;
  esac
  cpu_seconds
  rows+=("$name"$'\t'"$((SECONDS - start))"$'\t'"$((cpu - start_cpu))"$'\t'"$result")
  echo "-- $name: $result ($((SECONDS - start)) s)"
}
# The table of every stage, and a closing line with the counts.
summary() {
  echo
  # The result last: a reason for a skip can be long.
  printf '%s\n' "stage"$'\t'"seconds"$'\t'"CPU seconds"$'\t'"result" "${rows[@]}" |
    awk -F '\t' '{ for (i = 1; i <= 3; i++) { cell[NR, i] = $i
                                               if (length($i) > width[i]) width[i] = length($i) }
                    cell[NR, 4] = $4 }
      END { for (r = 1; r <= NR; r++)
              printf "%-*s  %*s  %*s  %s\n", width[1], cell[r, 1], width[2], cell[r, 2],
                     width[3], cell[r, 3], cell[r, 4] }'
  echo "check: $passed passed, $failed failed, $skipped skipped"
}

# ---- The stages ------------------------------------------------------------------------------
# Each is a function that stage() calls by name.

release() {
  cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_COMPILER=g++ >/dev/null
  cmake --build build -j "$jobs"
  ctest --test-dir build --output-on-failure -j "$jobs"
}

lint() { tools/lint.sh; }

# The portable extended arithmetic against long double, bit for bit; the known-answer tests of
# the suite stand in on other processors.
x87() {
  case $(uname -m) in
    x86_64 | i?86) ;;
    *) skip "not an x86 host: no x87 unit to compare with" ;;
  esac
  build/tests/sondrax_x87_compare 10000000
}

web() {
  emcmake cmake -S . -B build-web -G Ninja -DCMAKE_BUILD_TYPE=Release -DSONDRAX_TESTS=ON \
    -DSONDRAX_NATIVE_PROGRAM="$PWD/build/sondrax" >/dev/null
  cmake --build build-web -j "$jobs"
  ctest --test-dir build-web --output-on-failure -R '^web_core$'
}

page() {
  [ -f build-web/CTestTestfile.cmake ] || skip "no WebAssembly build"
  ctest --test-dir build-web --output-on-failure -R '^web_page$'
  echo "   screenshot: build-web/page.png"
}

asan() {
  cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_COMPILER=clang++ \
    -DSONDRAX_SANITIZE=ON >/dev/null
  cmake --build build-asan -j "$jobs"
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest --test-dir build-asan --output-on-failure -j "$jobs"
}

stress() { python3 tools/stress.py --binary build-asan/sondrax --count 1000 --jobs "$jobs"; }

fuzz() { tools/fuzz.sh 60; }

windows() {
  # A toolchain file is read when the directory is first configured; --no-warn-unused-cli keeps
  # CMake from calling it unused on every later run.
  cmake -S . -B build-win -G Ninja -DCMAKE_BUILD_TYPE=Release --no-warn-unused-cli \
    -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake >/dev/null
  cmake --build build-win -j "$jobs"
}

# One 32-bit wine prefix for the run, made before the first test starts; no mono or gecko.
# Everything wine writes stays in the run's directory: wineserver's socket directory goes to
# TMPDIR, and winemenubuilder, which would add menu entries under $HOME, is switched off.
wine_prefix() {
  [ -f build-win/sondrax.exe ] || skip "no Windows build"
  export WINEPREFIX="$run_dir/wine/prefix" WINEARCH=win32 WINEDEBUG=-all TMPDIR="$run_dir/wine"
  export WINEDLLOVERRIDES="winemenubuilder.exe=d"
  if [ ! -d "$WINEPREFIX" ]; then
    mkdir -p "$TMPDIR"
    WINEDLLOVERRIDES="$WINEDLLOVERRIDES;mscoree=;mshtml=" wineboot -i >/dev/null 2>&1
  fi
}

wine_suite() {
  wine_prefix
  ctest --test-dir build-win --output-on-failure -j "$jobs" </dev/null
}

wine_cross_check() {
  wine_prefix
  tools/cross-check.sh build/sondrax build-win/sondrax.exe </dev/null
}

# The executable and the test binary are static, so qemu needs none of the target's libraries;
# tests/CMakeLists.txt puts the emulator in front of the executable for the tests that start
# it. The suite runs on s390x alone: it is the big-endian one, so it catches what the others
# would and byte-order faults besides; on aarch64, armhf (32-bit: the cross-check's 2, 3 and
# 5 GiB files take its 64-bit file offsets end to end) and riscv64 the cross-check compares the
# executable's every output with the native one's.
targets="aarch64:aarch64-linux-gnu arm:arm-linux-gnueabihf s390x:s390x-linux-gnu
  riscv64:riscv64-linux-gnu"
cross_builds() {
  local target processor triplet
  for target in $targets; do
    IFS=: read -r processor triplet <<<"$target"
    echo "-- $triplet"
    cmake -S . -B "build-$processor" -G Ninja -DCMAKE_BUILD_TYPE=Release --no-warn-unused-cli \
      -DCMAKE_TOOLCHAIN_FILE="cmake/$triplet.cmake" >/dev/null
    if [ "$processor" = s390x ]; then
      cmake --build "build-$processor" -j "$jobs" --target sondrax sondrax_tests
    else
      cmake --build "build-$processor" -j "$jobs" --target sondrax
    fi
  done
}

s390x_suite() {
  [ -f build-s390x/tests/sondrax_tests ] || skip "no s390x build"
  ctest --test-dir build-s390x --output-on-failure -j "$jobs" </dev/null
}

qemu_cross_check() {
  local target processor triplet processors=() status=0
  for target in $targets; do
    IFS=: read -r processor triplet <<<"$target"
    [ -f "build-$processor/sondrax" ] || skip "no $processor build"
    processors+=("$processor")
  done
  # A cross-check is one serial shell loop: as many at a time as there are cores, each with
  # its output in a file of its own, shown when all are done.
  printf '%s\n' "${processors[@]}" | xargs -P "$jobs" -I{} sh -c 'tools/cross-check.sh \
    build/sondrax "build-$1/sondrax" "qemu-$1-static" </dev/null >"$2/cross-$1.log" 2>&1' \
    sh {} "$run_dir" || status=$?
  for processor in "${processors[@]}"; do
    cat "$run_dir/cross-$processor.log"
  done
  return "$status"
}

# tools/package-check.sh and tools/npm-check.sh exit with 77 when a tool they need is missing,
# after a line "SKIPPED what: why".
checked() {
  local status=0
  "$@" </dev/null >"$run_dir/checked.log" 2>&1 || status=$?
  cat "$run_dir/checked.log"
  [ "$status" -ne 77 ] || skip "$(sed -n 's/^SKIPPED [^:]*: //p' "$run_dir/checked.log" | tail -1)"
  return "$status"
}

deb_lintian() { checked tools/package-check.sh lintian; }

deb_reproducible() { checked tools/package-check.sh reproducible; }

zip_reproducible() { checked tools/package-check.sh windows; }

npm_package() {
  [ -x build/sondrax ] || skip "no Release build to compare with"
  checked tools/npm-check.sh build/sondrax
}

stage "Release build and suite (GCC)" core "build linux" release
if [ "$quick" = true ]; then
  summary
  echo "== Done (--quick: the Release suite only; tools/check.sh runs every stage)"
  exit $((failed > 0))
fi
stage "lint (clang-format, clang-tidy)" core "build lint" lint
stage "x87 comparison (10 million play times)" optional "build" x87
stage "WebAssembly build, its tests under node" optional "web" web
stage "the page in Chromium" optional "web browser" page
stage "sanitizer build and suite (Clang, ASan + UBSan)" core "build linux hardening" asan
stage "stress: the sanitizer build on 1000 mutated files" optional "hardening" stress
stage "fuzz (libFuzzer, ASan + UBSan, 60 s)" core "hardening" fuzz
stage "Windows build (MinGW-w64 i686)" optional "windows" windows
stage "Windows suite under wine" optional "wine" wine_suite
stage "Windows cross-check under wine" optional "wine" wine_cross_check
stage "Linux cross-builds (aarch64, armhf, s390x, riscv64)" optional "cross" cross_builds
stage "s390x suite under qemu" optional "cross qemu" s390x_suite
stage "cross-check under qemu (aarch64, armhf, s390x, riscv64)" optional "cross qemu" \
  qemu_cross_check
stage "Debian package: lintian, no error or warning" optional "build packages" deb_lintian
stage "Debian package built in two folders, the same bytes" optional "build" deb_reproducible
stage "Windows zip built in two folders, the same bytes" optional "windows" zip_reproducible
stage "npm package installed offline, against the Linux program" optional "web" npm_package
summary
exit $((failed > 0))
