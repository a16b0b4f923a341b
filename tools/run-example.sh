#!/usr/bin/env bash
# Builds Sondrax and reports on the bundled example WAVE file.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh core   # the Linux build only: no cross-compiler or wine
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j "$(nproc 2>/dev/null || echo 2)" --target sondrax
./build/sondrax examples/example.wav
