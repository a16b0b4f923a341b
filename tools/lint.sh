#!/usr/bin/env bash
# Lints every language of the repository; fails on a file a formatter would change and on any
# finding. The lint preset runs each linter as a test of its own (`ctest --preset lint`).
#
# Usage: tools/lint.sh [--fix] [LINTER...]     (default: every linter)
#   - clang-format: every tracked .c, .cc and .h file, against .clang-format
#   - clang-tidy: the sources of src/, testing/, tests/ and fuzz/ with the flags of the lint
#     preset's Clang build, and the Windows-only sources with those of the lint-win
#     preset's MinGW-w64 build and its headers (.clang-tidy; the output is kept in
#     build-lint/clang-tidy.log)
#   - shellcheck: every shell script: the tracked *.sh files and .ci/run
#   - biome: the JavaScript of web/, npm/, bench/ and the tests, linted and its format
#     checked (biome.json), with the version pinned in tests/web/package-lock.json
#   - cmake-format: CMakeLists.txt files and cmake/*.cmake, against .cmake-format.py
# --fix lets the formatters (clang-format, biome, cmake-format) rewrite the files first.
# A linter that is not installed (tools/install-deps.sh lint installs them) is a skip: a line
# "SKIPPED: why" and exit status 77, CTest's.
set -euo pipefail
cd "$(dirname "$0")/.."

fix=false
linters=()
for argument in "$@"; do
  case $argument in
    --fix) fix=true ;;
    clang-format | clang-tidy | shellcheck | biome | cmake-format) linters+=("$argument") ;;
    *)
      echo "usage: $0 [--fix] [clang-format|clang-tidy|shellcheck|biome|cmake-format...]" >&2
      exit 2
      ;;
  esac
done
[ ${#linters[@]} -ne 0 ] || linters=(clang-format clang-tidy shellcheck biome cmake-format)
root=$PWD
failed=0
skipped=0

# needs TOOL PACKAGE: true when TOOL is there; otherwise says why the linter is skipped.
needs() {
  command -v "$1" >/dev/null && return 0
  echo "SKIPPED: $linter: $1 is not installed (package $2; tools/install-deps.sh lint)"
  skipped=1
  return 1
}

clang_format() {
  needs clang-format clang-format || return 0
  echo "== clang-format ($(clang-format --version | grep -o 'version [0-9.]*'))"
  local sources file unformatted=0
  mapfile -t sources < <(git ls-files '*.c' '*.cc' '*.h')
  [ "$fix" = false ] || clang-format -i "${sources[@]}"
  for file in "${sources[@]}"; do
    if ! clang-format --dry-run -Werror "$file" >/dev/null 2>&1; then
      echo "not formatted: $file (clang-format -i $file, or tools/lint.sh --fix clang-format)"
      unformatted=$((unformatted + 1))
    fi
  done
  echo "clang-format: ${#sources[@]} files, $unformatted not formatted"
  [ "$unformatted" -eq 0 ]
}

# The files of a compilation database that lie in src/, testing/, tests/ or fuzz/.
database_files() {
  sed -n 's/^ *"file": "\(.*\)",\{0,1\}$/\1/p' "$1/compile_commands.json" |
    grep -E "^$root/(src|testing|tests|fuzz)/" | sort -u
}

# tidy DATABASE FILE...: clang-tidy on each file, two at a time, each file's output in a file
# of its own so that parallel runs do not mix their lines; extra_args go to every run.
tidy() {
  local database=$1
  shift
  # shellcheck disable=SC2016  # the inner shell expands its own arguments
  printf '%s\n' "$@" | xargs -r -P 2 -I{} sh -c \
    'clang-tidy --quiet -p "$1" $2 "$3" >"build-lint/tidy/$(echo "$3" | tr / _).log" 2>&1 || true' \
    sh "$database" "${extra_args:-}" {}
}

clang_tidy() {
  needs clang-tidy clang-tidy || return 0
  needs i686-w64-mingw32-g++-posix g++-mingw-w64-i686-posix || return 0
  echo "== clang-tidy ($(clang-tidy --version | grep -o 'version [0-9.]*'))"
  cmake --preset lint >/dev/null
  cmake --preset lint-win >/dev/null
  mkdir -p build-lint/tidy
  rm -f build-lint/tidy/*
  local linux_files windows_files windows_args dir findings
  mapfile -t linux_files < <(database_files build-lint)
  extra_args="" tidy build-lint "${linux_files[@]}"
  # For the Windows sources, Clang parses as MinGW-w64's compiler does, with its C++ headers.
  mapfile -t windows_files < <(database_files build-lint-win | grep Win32)
  windows_args="--extra-arg=--target=i686-w64-mingw32 --extra-arg=-nostdinc++"
  for dir in $(echo | i686-w64-mingw32-g++-posix -E -x c++ - -v 2>&1 |
    sed -n '/^#include <...> search starts here:/,/^End of search list/s/^ \(\/.*\)/\1/p'); do
    windows_args+=" --extra-arg=-isystem$dir"
  done
  extra_args=$windows_args tidy build-lint-win "${windows_files[@]}"
  cat build-lint/tidy/*.log >build-lint/clang-tidy.log
  # A finding in a header shows once for every file that includes it.
  mapfile -t findings < <(grep -E '^/.*: (warning|error): ' build-lint/clang-tidy.log |
    sed "s|^$root/||" | sort -u)
  printf '%s\n' "${findings[@]}" | sed '/^$/d'
  echo "clang-tidy: ${#linux_files[@]} + ${#windows_files[@]} files, ${#findings[@]} findings" \
    "(build-lint/clang-tidy.log)"
  [ ${#findings[@]} -eq 0 ]
}

shell_check() {
  needs shellcheck shellcheck || return 0
  echo "== shellcheck ($(shellcheck --version | sed -n 's/^version: //p'))"
  local scripts
  mapfile -t scripts < <(git ls-files '*.sh' .ci/run)
  shellcheck --external-sources "${scripts[@]}" || return 1
  echo "shellcheck: ${#scripts[@]} scripts, no finding"
}

biome_check() {
  local biome=tests/web/node_modules/.bin/biome
  if [ ! -x "$biome" ]; then
    echo "SKIPPED: biome: not installed in tests/web/node_modules (npm ci --prefix tests/web;" \
      "tools/install-deps.sh lint)"
    skipped=1
    return 0
  fi
  echo "== biome ($("$biome" --version))"
  if [ "$fix" = true ]; then
    "$biome" check --write --no-errors-on-unmatched .
  fi
  "$biome" check --no-errors-on-unmatched . || return 1
}

cmake_check() {
  needs cmake-format cmake-format || return 0
  echo "== cmake-format ($(cmake-format --version))"
  local files
  mapfile -t files < <(git ls-files 'CMakeLists.txt' '*/CMakeLists.txt' '*.cmake')
  [ "$fix" = false ] || cmake-format -i "${files[@]}"
  cmake-format --check "${files[@]}" || return 1
  echo "cmake-format: ${#files[@]} files, all formatted"
}

for linter in "${linters[@]}"; do
  case $linter in
    clang-format) clang_format || failed=1 ;;
    clang-tidy) clang_tidy || failed=1 ;;
    shellcheck) shell_check || failed=1 ;;
    biome) biome_check || failed=1 ;;
    cmake-format) cmake_check || failed=1 ;;
  esac
done
[ "$failed" -eq 0 ] || exit 1
[ "$skipped" -eq 0 ] || exit 77
