#!/usr/bin/env bash
# Installs what building and testing Sondrax needs, where it is missing (Debian/Ubuntu).
# Usage: tools/install-deps.sh [core]   (core: only what the Linux build needs)
set -euo pipefail

want=(cmake ninja-build g++ clang libgtest-dev googletest)
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
apt-get update -q
apt-get install -y -q --no-install-recommends "${missing[@]}"
