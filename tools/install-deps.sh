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
fi
missing=()
for package in "${want[@]}"; do
  dpkg -s "$package" >/dev/null 2>&1 || missing+=("$package")
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi
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
