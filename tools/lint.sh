#!/usr/bin/env bash
# Checks the C and C++ sources against .clang-format and .clang-tidy; fails on a file that is
# not formatted and on any clang-tidy finding.
#
# Usage: tools/lint.sh [--fix]     (--fix: formats the files in place first)
#
# clang-format: every tracked .c, .cc and .h file. clang-tidy: the sources of src/, testing/,
# tests/ and fuzz/ with the flags of a Clang build (build-lint/, configured, never built), and the
# Windows-only sources with those of the MinGW-w64 build (build-lint-win/) and its headers;
# the project's headers are checked through the files that include them. The whole clang-tidy
# output is kept in build-lint/clang-tidy.log.
set -euo pipefail
cd "$(dirname "$0")/.."

fix=false
case "${1:-}" in
  "") ;;
  --fix) fix=true ;;
  *)
    echo "usage: $0 [--fix]" >&2
    exit 2
    ;;
esac
tools/install-deps.sh lint
jobs=$(nproc 2>/dev/null || echo 2)
root=$PWD

echo "== clang-format ($(clang-format --version | grep -o 'version [0-9.]*'))"
mapfile -t sources < <(git ls-files '*.c' '*.cc' '*.h')
if [ "$fix" = true ]; then
  clang-format -i "${sources[@]}"
fi
unformatted=()
for file in "${sources[@]}"; do
  clang-format --dry-run -Werror "$file" >/dev/null 2>&1 || unformatted+=("$file")
done
for file in "${unformatted[@]}"; do
  echo "not formatted: $file (clang-format -i $file, or tools/lint.sh --fix)"
done

echo "== clang-tidy ($(clang-tidy --version | grep -o 'version [0-9.]*'))"
cmake -S . -B build-lint -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DSONDRAX_FUZZ=ON \
  -DCMAKE_EXPORT_COMPILE_COMMANDS=ON >/dev/null
cmake -S . -B build-lint-win -G Ninja --no-warn-unused-cli \
  -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DCMAKE_EXPORT_COMPILE_COMMANDS=ON >/dev/null
# The files of a compilation database that lie in src/, testing/, tests/ or fuzz/.
database_files() {
  sed -n 's/^ *"file": "\(.*\)",\{0,1\}$/\1/p' "$1/compile_commands.json" |
    grep -E "^$root/(src|testing|tests|fuzz)/" | sort -u
}
mkdir -p build-lint/tidy
rm -f build-lint/tidy/*
# Each file's output in a file of its own, so that parallel runs do not mix their lines.
tidy() {
  local database=$1
  shift
  printf '%s\n' "$@" | xargs -r -P "$jobs" -I{} sh -c \
    'clang-tidy --quiet -p "$1" $2 "$3" >"build-lint/tidy/$(echo "$3" | tr / _).log" 2>&1 || true' \
    sh "$database" "${extra_args:-}" {}
}
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

echo "== lint: ${#unformatted[@]} files not formatted, ${#findings[@]} clang-tidy findings" \
  "(${#linux_files[@]} + ${#windows_files[@]} files checked; build-lint/clang-tidy.log)"
[ ${#unformatted[@]} -eq 0 ] && [ ${#findings[@]} -eq 0 ]
