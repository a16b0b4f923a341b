#!/usr/bin/env bash
# Installs what building and testing Sondrax needs, where it is missing (Debian/Ubuntu).
# Usage: tools/install-deps.sh [core]   (core: only what the Linux build needs: no Windows
#                                         build, no Linux cross-builds)
set -euo pipefail

want=(cmake ninja-build g++ clang libgtest-dev googletest)
# The hardening checks: libFuzzer (clang's runtime libraries), tmux and script (bsdutils) for
# the tests on a real terminal, python3 for the stress run on mutated files.
want+=(libclang-rt-14-dev tmux bsdutils python3)
# The Windows build: the 32-bit MinGW-w64 cross-compiler (POSIX threads) and wine to run its
# tests. wine32 is an i386 package, so dpkg must know that architecture first.
add_i386=false
if [ "${1:-}" != core ]; then
  want+=(g++-mingw-w64-i686-posix wine wine32:i386)
  # The Linux cross-builds: Debian's cross compilers, and qemu's user-mode emulators to run them.
  want+=(g++-aarch64-linux-gnu g++-arm-linux-gnueabihf g++-s390x-linux-gnu g++-riscv64-linux-gnu)
  want+=(qemu-user-static)
  dpkg --print-foreign-architectures | grep -qx i386 || add_i386=true
  # The page: emscripten for the WebAssembly build, Chromium for its tests, node and npm to run
  # them (node 20 or later, as playwright-core asks; any installed node is kept).
  want+=(emscripten chromium)
  command -v npm >/dev/null 2>&1 || want+=(nodejs npm)
fi
missing=()
for package in "${want[@]}"; do
  dpkg -s "$package" >/dev/null 2>&1 || missing+=("$package")
done
if [ ${#missing[@]} -ne 0 ]; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "Missing packages: ${missing[*]} (install them as root)" >&2
    exit 1
  fi
  export DEBIAN_FRONTEND=noninteractive
  if [ "$add_i386" = true ]; then
    dpkg --add-architecture i386
  fi
  apt-get update -q
  apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# playwright-core, which drives Chromium in the page's tests, from npm into tests/web/, at the
# version its lock file names (it downloads no browser: the tests use Debian's chromium).
if [ "${1:-}" != core ]; then
  web_tests="$(dirname "$0")/../tests/web"
  if ! node -e 'const [dir] = process.argv.slice(1);
      const wanted = require(dir + "/package-lock.json").packages["node_modules/playwright-core"];
      process.exit(require(dir + "/node_modules/playwright-core/package.json").version ===
                   wanted.version ? 0 : 1)' "$(cd "$web_tests" && pwd)" 2>/dev/null; then
    npm ci --prefix "$web_tests" --no-audit --no-fund
  fi
fi
