#!/usr/bin/env bash
# Builds the sondrax executable and reports on the bundled example WAVE file.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh build   # the Linux build only: no Clang, cross-compiler or wine
# build/ is the release preset's, which tools/check.sh builds too.
cmake --preset release >/dev/null
cmake --build --preset release --target sondrax
./build/sondrax examples/example.wav
