#!/usr/bin/env bash
# The packages as users get them. Checks, each by name (default: all four); CTest runs each as a
# test of its own (cmake/Checks.cmake, the packages preset):
#   lintian       the Debian package passes Debian's checker with no error and no warning (an
#                 override in packaging/debian/lintian-overrides carries its reason)
#   reproducible  the Debian package built twice, from two copies of the sources in folders of
#                 different names and depths, with the same SOURCE_DATE_EPOCH: identical bytes
#   win32         the same for the 32-bit Windows zip, built with MinGW-w64
#   win64         the same for the 64-bit Windows zip
#
# Usage: tools/package-check.sh [lintian] [reproducible] [win32] [win64]
# Exit status: 0 all passed, 1 a check failed, 77 none failed but one was skipped for a
# missing tool (its reason is printed on a line "SKIPPED check: why"). The copies are the files git knows (committed or not)
# and are built in a temporary directory that is removed at the end.
set -euo pipefail
cd "$(dirname "$0")/.."

checks=("$@")
[ ${#checks[@]} -ne 0 ] || checks=(reproducible lintian win32 win64)
for check in "${checks[@]}"; do
  case $check in
    lintian | reproducible | win32 | win64) ;;
    *)
      echo "usage: $0 [lintian] [reproducible] [win32] [win64]" >&2
      exit 2
      ;;
  esac
done

# What a package may depend on: the sources and SOURCE_DATE_EPOCH (by default the time of the
# last commit), nothing of the machine's clock, time zone, locale, umask or folder.
export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct 2>/dev/null || echo 0)}
export TZ=UTC LC_ALL=C.UTF-8
umask 022
jobs=$(nproc 2>/dev/null || echo 2)
[ "$jobs" -le 2 ] || jobs=2

work=$(mktemp -d "${TMPDIR:-/tmp}/sondrax-packages.XXXXXX")
trap 'rm -rf "$work"' EXIT

failed=0
skipped=0
skip() {
  echo "SKIPPED $1: $2"
  skipped=1
}

# A copy of the sources in $work/$1: the files git knows, as they are in the working tree.
copy_sources() {
  mkdir -p "$work/$1"
  git ls-files -z --cached --others --exclude-standard |
    tar -c --null -T - | tar -x -C "$work/$1"
}

# Builds the package of the sources in $work/$1 with CMake options $3..., leaving its path
# (the only file matching $2 in the build directory) in $package.
build_package() {
  local copy=$1 pattern=$2
  shift 2
  cmake -S "$work/$copy" -B "$work/$copy/build-pkg" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DSONDRAX_TESTS=OFF --no-warn-unused-cli "$@" >"$work/$copy.log"
  cmake --build "$work/$copy/build-pkg" -j "$jobs" >>"$work/$copy.log"
  (cd "$work/$copy/build-pkg" && cpack >>"$work/$copy.log")
  package=$(find "$work/$copy/build-pkg" -maxdepth 1 -name "$pattern")
}

# Builds the package twice, in folders whose names differ in length and depth, and compares.
reproduce() {
  local name=$1 pattern=$2
  shift 2
  copy_sources "$name-1"
  copy_sources "$name-second/copy"
  build_package "$name-1" "$pattern" "$@"
  local first=$package
  build_package "$name-second/copy" "$pattern" "$@"
  if cmp "$first" "$package"; then
    echo "passed $name: $(basename "$package") identical from two folders" \
      "(SOURCE_DATE_EPOCH=$SOURCE_DATE_EPOCH, $(sha256sum <"$package" | cut -c1-16)...)"
  else
    echo "FAILED $name: the two builds differ"
    failed=1
  fi
}

deb=""
for check in "${checks[@]}"; do
  case $check in
    reproducible)
      reproduce reproducible 'sondrax_*.deb'
      deb=$package
      ;;
    win32 | win64)
      processor=i686
      [ "$check" = win32 ] || processor=x86_64
      if ! command -v "$processor-w64-mingw32-g++-posix" >/dev/null; then
        skip "$check" "no MinGW-w64 cross compiler (package g++-mingw-w64-${processor//_/-}-posix)"
        continue
      fi
      reproduce "$check" "sondrax-*-$check.zip" -DCMAKE_TOOLCHAIN_FILE="cmake/mingw-$processor.cmake"
      ;;
    lintian)
      if ! command -v lintian >/dev/null; then
        skip lintian "lintian is not installed (package lintian)"
        continue
      fi
      if [ -z "$deb" ]; then
        copy_sources lintian
        build_package lintian 'sondrax_*.deb'
        deb=$package
      fi
      # The overrides are read from the package itself (usr/share/lintian/overrides/sondrax).
      if lintian --fail-on error,warning --info "$deb"; then
        echo "passed lintian: $(basename "$deb"), no error and no warning"
      else
        echo "FAILED lintian: $(basename "$deb")"
        failed=1
      fi
      ;;
  esac
done

[ "$failed" -eq 0 ] || exit 1
[ "$skipped" -eq 0 ] || exit 77
