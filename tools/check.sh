#!/usr/bin/env bash
# Builds Sondrax and runs every test: the optimised build with GCC, and its extended arithmetic
# against the x87 unit on ten million play times; the WebAssembly build and the page, under node
# and in Chromium; an AddressSanitizer + UndefinedBehaviorSanitizer build with Clang; the
# sanitizer build on mutated files and a bounded libFuzzer run; the 32-bit Windows build, its
# tests under wine, and the cross-check of the Linux and Windows programs; then the Linux
# cross-builds for aarch64, armhf, s390x and riscv64 under qemu, with their tests (riscv64: the
# executable alone) and the cross-check; last the packages users install (tools/package-check.sh,
# tools/npm-check.sh).
#
# Usage: tools/check.sh [--quick]
#   --quick: the Release build and its tests only (the development loop; under a minute on a
#            built tree)
# Each compiler has a build directory of its own: build/ (GCC, shared with run-example.sh),
# build-asan/ and build-fuzz/ (Clang), build-web/ (emscripten), build-win/ (MinGW-w64),
# build-<processor>/ (the cross compilers).
set -euo pipefail
cd "$(dirname "$0")/.."

quick=false
case "${1:-}" in
  "") ;;
  --quick) quick=true ;;
  *)
    echo "usage: $0 [--quick]" >&2
    exit 2
    ;;
esac
if [ "$quick" = true ]; then
  tools/install-deps.sh linux
else
  tools/install-deps.sh
fi
jobs=$(nproc 2>/dev/null || echo 2)

echo "== Release build (GCC)"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_COMPILER=g++ >/dev/null
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure -j "$jobs"
if [ "$quick" = true ]; then
  echo "== Done (--quick: the Release suite only; tools/check.sh runs every stage)"
  exit 0
fi

echo "== Lint (clang-format, clang-tidy)"
tools/lint.sh

echo "== x87 comparison: the portable extended arithmetic against long double, bit for bit"
if [ -x build/tests/sondrax_x87_compare ]; then
  build/tests/sondrax_x87_compare 10000000
else
  echo "(not an x86 host: no x87 unit to compare with; the known-answer tests stand in)"
fi

echo "== WebAssembly build and the page (emscripten; node, and Chromium with playwright-core)"
web_start=$SECONDS
emcmake cmake -S . -B build-web -G Ninja -DCMAKE_BUILD_TYPE=Release -DSONDRAX_TESTS=ON \
  -DSONDRAX_NATIVE_PROGRAM="$PWD/build/sondrax" >/dev/null
cmake --build build-web -j "$jobs"
ctest --test-dir build-web --output-on-failure -j "$jobs"
echo "   the WebAssembly stage took $((SECONDS - web_start)) s (screenshot: build-web/page.png)"

echo "== Sanitizer build (Clang, ASan + UBSan)"
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_COMPILER=clang++ \
  -DSONDRAX_SANITIZE=ON >/dev/null
cmake --build build-asan -j "$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-asan --output-on-failure -j "$jobs"

echo "== Stress: the sanitizer build on mutated files"
python3 tools/stress.py --binary build-asan/sondrax --count 1000 --jobs "$jobs"

echo "== Fuzzing (libFuzzer, ASan + UBSan, 60 s; tools/fuzz.sh SECONDS for longer)"
tools/fuzz.sh 60

echo "== Windows build (MinGW-w64 i686; the tests and the cross-check under wine)"
# A toolchain file is read when the directory is first configured; --no-warn-unused-cli keeps
# CMake from calling it unused on every later run.
cmake -S . -B build-win -G Ninja -DCMAKE_BUILD_TYPE=Release --no-warn-unused-cli \
  -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake >/dev/null
cmake --build build-win -j "$jobs"
# One 32-bit wine prefix for the run, made before the first test starts; no mono or gecko.
# Everything wine writes stays in that directory: wineserver's socket directory goes to TMPDIR,
# and winemenubuilder, which would add menu entries under $HOME, is switched off.
wine_dir=$(mktemp -d "${TMPDIR:-/tmp}/sondrax-wine.XXXXXX")
export WINEPREFIX="$wine_dir/prefix" WINEARCH=win32 WINEDEBUG=-all TMPDIR="$wine_dir"
export WINEDLLOVERRIDES="winemenubuilder.exe=d"
trap 'wineserver -k 2>/dev/null || true; rm -rf "$wine_dir"' EXIT
WINEDLLOVERRIDES="$WINEDLLOVERRIDES;mscoree=;mshtml=" wineboot -i >/dev/null 2>&1
ctest --test-dir build-win --output-on-failure -j "$jobs" </dev/null
tools/cross-check.sh build/sondrax build-win/sondrax.exe </dev/null

echo "== Linux cross-builds under qemu: aarch64, armhf and s390x (big-endian) with their tests,"
echo "   riscv64 the executable alone; the cross-check on each"
# The executable and the test binary are static, so qemu needs none of the target's libraries;
# tests/CMakeLists.txt puts the emulator in front of the executable for the tests that start it.
# riscv64 adds nothing to the tests that the others do not cover (64-bit little-endian, as
# aarch64) but the processor, so it gets the cross-check only: this keeps the stage within a
# few minutes on two cores.
for target in aarch64:aarch64-linux-gnu:tests arm:arm-linux-gnueabihf:tests \
  s390x:s390x-linux-gnu:tests riscv64:riscv64-linux-gnu:cross-check; do
  IFS=: read -r processor triplet what <<<"$target"
  echo "-- $triplet"
  cmake -S . -B "build-$processor" -G Ninja -DCMAKE_BUILD_TYPE=Release --no-warn-unused-cli \
    -DCMAKE_TOOLCHAIN_FILE="cmake/$triplet.cmake" >/dev/null
  if [ "$what" = tests ]; then
    cmake --build "build-$processor" -j "$jobs" --target sondrax sondrax_tests
    ctest --test-dir "build-$processor" --output-on-failure -j "$jobs" </dev/null
  else
    cmake --build "build-$processor" -j "$jobs" --target sondrax
  fi
  tools/cross-check.sh build/sondrax "build-$processor/sondrax" "qemu-$processor-static" </dev/null
done

echo "== Packages: lintian on the Debian package; the .deb and the Windows zip built from two"
echo "   folders with the same SOURCE_DATE_EPOCH, byte for byte the same; the npm package"
echo "   installed from its tarball without a network, against the Linux program"
# 77: a check was skipped for a missing tool (the reason is printed); not a failure.
for package_check in tools/package-check.sh tools/npm-check.sh; do
  status=0
  "$package_check" </dev/null || status=$?
  [ "$status" -eq 0 ] || [ "$status" -eq 77 ]
done
