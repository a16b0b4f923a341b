#!/usr/bin/env bash
# Installs what building and testing Sondrax needs, where it is missing (Debian 12 / Ubuntu).
#
# Usage: tools/install-deps.sh [--list] [GROUP]
#   build   the Linux build, GoogleTest included (tools/run-example.sh)
#   linux   build + the tools of the Linux test suite (tools/check.sh --quick)
#   all     linux + the sanitizers, the fuzzer, the stress run, the Windows build and wine,
#           the Linux cross-builds and qemu, the WebAssembly build and its browser tests
#           (tools/check.sh); the default
#   lint    build + clang-format and clang-tidy (tools/lint.sh)
# --list prints the group's packages on one line and installs nothing. Installing needs root
# and access to the Debian archive; without root the script names what is missing and fails.
set -euo pipefail

list=false
if [ "${1:-}" = --list ]; then
  list=true
  shift
fi
group=${1:-all}
case $group in
  build | linux | all | lint) ;;
  *)
    echo "usage: $0 [--list] [build|linux|all|lint]" >&2
    exit 2
    ;;
esac

# The build's tests are configured with the build, so GoogleTest belongs to it.
want=(cmake ninja-build g++ libgtest-dev googletest)
# The Linux suite: tmux and script (bsdutils) for the tests on a real terminal, groff for the
# tests of the manual page.
if [ "$group" = linux ] || [ "$group" = all ]; then
  want+=(tmux bsdutils groff-base)
fi
# clang-tidy reads a compilation database of Clang's; the Windows sources are checked with the
# MinGW-w64 headers.
if [ "$group" = lint ]; then
  want+=(clang clang-format clang-tidy g++-mingw-w64-i686-posix)
fi
add_i386=false
if [ "$group" = all ]; then
  # The hardening checks: the sanitizers and libFuzzer (clang and its runtime libraries),
  # python3 for the stress run on mutated files.
  want+=(clang libclang-rt-14-dev python3)
  # The Windows build: the 32-bit MinGW-w64 cross-compiler (POSIX threads) and wine to run its
  # tests. wine32 is an i386 package, so dpkg must know that architecture first.
  want+=(g++-mingw-w64-i686-posix wine wine32:i386)
  # The Linux cross-builds: Debian's cross compilers, and qemu's user-mode emulators to run them.
  want+=(g++-aarch64-linux-gnu g++-arm-linux-gnueabihf g++-s390x-linux-gnu g++-riscv64-linux-gnu)
  want+=(qemu-user-static)
  dpkg --print-foreign-architectures | grep -qx i386 || add_i386=true
  # The page: emscripten for the WebAssembly build, Chromium for its tests, node and npm to run
  # them (node 20 or later, as playwright-core asks; any installed node is kept).
  want+=(emscripten chromium nodejs npm)
  # The packages as users get them: lintian, Debian's checker, on the Debian package.
  want+=(lintian)
fi
if [ "$list" = true ]; then
  echo "${want[*]}"
  exit 0
fi
missing=()
for package in "${want[@]}"; do
  case $package in
    nodejs | npm) command -v npm >/dev/null 2>&1 && continue ;;
  esac
  dpkg -s "$package" >/dev/null 2>&1 || missing+=("$package")
done
if [ ${#missing[@]} -ne 0 ]; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "Missing packages: ${missing[*]} (install them as root)" >&2
    if [ "$add_i386" = true ]; then
      echo "wine32:i386 needs the i386 architecture first: dpkg --add-architecture i386" >&2
    fi
    exit 1
  fi
  export DEBIAN_FRONTEND=noninteractive
  if [ "$add_i386" = true ]; then
    echo "install-deps: adding the i386 architecture to dpkg (for wine32)"
    dpkg --add-architecture i386
  fi
  apt-get update -q
  apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# playwright-core, which drives Chromium in the page's tests, from npm into tests/web/, at the
# version its lock file names (it downloads no browser: the tests use Debian's chromium).
if [ "$group" = all ]; then
  web_tests="$(dirname "$0")/../tests/web"
  if ! node -e 'const [dir] = process.argv.slice(1);
      const wanted = require(dir + "/package-lock.json").packages["node_modules/playwright-core"];
      process.exit(require(dir + "/node_modules/playwright-core/package.json").version ===
                   wanted.version ? 0 : 1)' "$(cd "$web_tests" && pwd)" 2>/dev/null; then
    # npm's cache and logs in a directory of the run's, not in ~/.npm.
    npm_cache=$(mktemp -d "${TMPDIR:-/tmp}/sondrax-npm.XXXXXX")
    trap 'rm -rf "$npm_cache"' EXIT
    npm ci --prefix "$web_tests" --no-audit --no-fund --no-update-notifier --cache "$npm_cache"
  fi
fi
