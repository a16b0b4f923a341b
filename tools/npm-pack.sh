#!/usr/bin/env bash
# Builds the npm package `sondrax` from the WebAssembly build of the program (build-npm/, with
# emscripten) and packs it: leaves sondrax-<version>.tgz in build-npm/ and prints its path.
#
# Usage: tools/npm-pack.sh
# Needs emscripten (emcmake) and npm. The tarball's entries carry npm's fixed time stamp, so the
# same sources give the same tarball.
set -euo pipefail
cd "$(dirname "$0")/.."

if ! command -v emcmake >/dev/null || ! command -v npm >/dev/null; then
  echo "tools/npm-pack.sh needs emscripten (emcmake) and npm" >&2
  exit 1
fi
cmake --preset npm >/dev/null
cmake --build --preset npm >/dev/null

# npm's cache and logs in a directory of the run's, not in ~/.npm; nothing is fetched.
npm_cache=$(mktemp -d "${TMPDIR:-/tmp}/sondrax-npm.XXXXXX")
trap 'rm -rf "$npm_cache"' EXIT
tarball=$(npm pack ./npm --pack-destination build-npm --silent --offline \
  --cache "$npm_cache" --no-update-notifier)
echo "$PWD/build-npm/$tarball"
