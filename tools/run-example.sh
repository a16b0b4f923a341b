#!/usr/bin/env bash
# Builds the sondrax executable and reports on the bundled example WAVE file.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh build   # the Linux build only: no Clang, cross-compiler or wine
# build/ is configured as tools/check.sh configures it, so that the two share it.
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_COMPILER=g++ >/dev/null
cmake --build build -j "$(nproc 2>/dev/null || echo 2)" --target sondrax
./build/sondrax examples/example.wav
