#!/usr/bin/env bash
# Installs what building and testing Sondrax needs, where it is missing (Debian 12 / Ubuntu).
#
# Usage: tools/install-deps.sh [--list] [--status FILE] [GROUP...]
#   build   the Linux build, GoogleTest included (tools/run-example.sh)
#   linux   build + the tools of the Linux test suite (tools/check.sh --quick)
#   all     every part below: what each stage of tools/check.sh needs; the default
#   lint    build + every linter (tools/lint.sh)
# or one of the parts of all by name: hardening, windows, wine, wine32, cross, qemu, web,
# browser, packages.
# --list prints the packages on one line and installs nothing. --status FILE writes one line
# per part, "PART<tab>ok" or "PART<tab>" and why it is not there, for tools/check.sh.
#
# Installing needs root and access to the Debian archive; without root the script names what
# is missing. The archive can be half there (an index being synced, say): apt-get update is
# tried three times, and after that the script goes on with the package lists it has. Each
# part is installed on its own, so a package the archive cannot give takes down only its part.
# Exits 1 when a part is still missing, naming it and apt's reason.
set -euo pipefail

list=false
status_file=""
while [ $# -gt 0 ]; do
  case $1 in
    --list) list=true ;;
    --status)
      status_file=${2:?--status needs a file}
      shift
      ;;
    *) break ;;
  esac
  shift
done

# The parts, in the order they are installed.
declare -A packages=(
  # The build's tests are configured with the build, so GoogleTest belongs to it.
  [build]="cmake ninja-build g++ libgtest-dev googletest"
  # The Linux suite: tmux and script (bsdutils) for the tests on a real terminal, groff for the
  # tests of the manual page, GNU parallel for sondrax-check's recipe of the README.
  [linux]="tmux bsdutils groff-base parallel"
  # clang-tidy reads a compilation database of Clang's; the Windows sources are checked with
  # the MinGW-w64 headers. The JavaScript's linter and formatter comes from npm (into
  # tests/web/, at the version its lock file names).
  [lint]="clang clang-format clang-tidy g++-mingw-w64-i686-posix shellcheck cmake-format nodejs npm"
  # The sanitizers and libFuzzer (clang and its runtime libraries), python3 for the stress run
  # on mutated files.
  [hardening]="clang libclang-rt-14-dev python3"
  # The Windows builds: the 32-bit and 64-bit MinGW-w64 cross-compilers (POSIX threads).
  [windows]="g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix"
  # wine to run the Windows tests: wine64 for the 64-bit program, from amd64 packages alone;
  # wine32 for the 32-bit one is an i386 package, so dpkg must know that architecture first,
  # and it is the package a half-synced i386 index makes impossible: a part of its own.
  [wine]="wine wine64"
  [wine32]="wine32:i386"
  # The Linux cross-builds: Debian's cross compilers, and qemu's user-mode emulators to run them.
  [cross]="g++-aarch64-linux-gnu g++-arm-linux-gnueabihf g++-s390x-linux-gnu g++-riscv64-linux-gnu"
  [qemu]="qemu-user-static"
  # The page: emscripten for the WebAssembly build, node to run its tests (node 20 or later,
  # as playwright-core asks; any installed node and npm are kept), Chromium for the page's
  # tests, and playwright-core from npm to drive it.
  [web]="emscripten nodejs npm"
  [browser]="chromium"
  # The packages as users get them: lintian, Debian's checker, on the Debian package.
  [packages]="lintian"
)
all_parts=(build linux lint hardening windows wine wine32 cross qemu web browser packages)
[ $# -gt 0 ] || set -- all
parts=()
for group in "$@"; do
  case $group in
    build) parts+=(build) ;;
    linux) parts+=(build linux) ;;
    lint) parts+=(build lint) ;;
    all) parts+=("${all_parts[@]}") ;;
    *)
      if [ -z "${packages[$group]:-}" ]; then
        echo "usage: $0 [--list] [--status FILE] [build|linux|all|lint|PART...]" >&2
        exit 2
      fi
      parts+=("$group")
      ;;
  esac
done
mapfile -t parts < <(printf '%s\n' "${parts[@]}" | awk '!seen[$0]++')

if [ "$list" = true ]; then
  for part in "${parts[@]}"; do
    # shellcheck disable=SC2086  # a part's packages are split into words
    printf '%s\n' ${packages[$part]}
  done | awk '!seen[$0]++' | paste -sd ' '
  exit 0
fi

# The packages of a part that are not installed.
missing() {
  local package
  for package in ${packages[$1]}; do
    case $package in
      nodejs | npm) command -v npm >/dev/null 2>&1 && continue ;;
    esac
    dpkg -s "$package" >/dev/null 2>&1 || echo "$package"
  done
}

# Why a part is missing, one line per part.
declare -A reason=()
work=$(mktemp -d "${TMPDIR:-/tmp}/sondrax-deps.XXXXXX")
trap 'rm -rf "$work"' EXIT

to_install=()
for part in "${parts[@]}"; do
  [ -z "$(missing "$part")" ] || to_install+=("$part")
done
if [ ${#to_install[@]} -ne 0 ] && [ "$(id -u)" -ne 0 ]; then
  for part in "${to_install[@]}"; do
    reason[$part]="not installed: $(missing "$part" | paste -sd ' ') (install them as root)"
  done
  if [[ " ${to_install[*]} " == *" wine32 "* ]] &&
    ! dpkg --print-foreign-architectures | grep -qx i386; then
    echo "wine32:i386 needs the i386 architecture first: dpkg --add-architecture i386" >&2
  fi
elif [ ${#to_install[@]} -ne 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  if [[ " ${to_install[*]} " == *" wine32 "* ]] &&
    ! dpkg --print-foreign-architectures | grep -qx i386; then
    echo "install-deps: adding the i386 architecture to dpkg (for wine32)"
    dpkg --add-architecture i386
  fi
  # An index that fails (a mirror in the middle of a sync) makes apt-get update exit 100 but
  # keeps the other lists fresh; a later try often finds the mirror done.
  updated=false
  for pause in 5 10 0; do
    if apt-get update -q 2>&1 | tee "$work/update.log"; then
      updated=true
      break
    fi
    [ "$pause" -eq 0 ] || sleep "$pause"
  done
  failed_index=""
  if [ "$updated" = false ]; then
    # "Err:6 http://host/debian-security bookworm-security/main i386 Packages", and on the next
    # line what was wrong with it.
    awk '/^Err:/ { $1 = $2 = ""; sub(/^ +/, ""); name = $0; next }
      name != "" { sub(/^ +/, ""); sub(/ \[IP: .*/, ""); print name ": " $0; name = "" }' \
      "$work/update.log" >"$work/failed"
    sed 's/^/install-deps: apt-get update: /' "$work/failed" >&2
    failed_index=$(sed -n '1s/: .*//p' "$work/failed")
    echo "install-deps: apt-get update failed three times; going on with the package lists" \
      "there are" >&2
  fi
  for part in "${to_install[@]}"; do
    mapfile -t wanted < <(missing "$part")
    [ ${#wanted[@]} -ne 0 ] || continue # installed with an earlier part
    echo "install-deps: $part: ${wanted[*]}"
    if ! apt-get install -y -q --no-install-recommends "${wanted[@]}" 2>&1 |
      tee "$work/install.log"; then
      # apt's telling line: its first error (an unsolvable request lists unmet dependencies
      # first, a cascade that seldom names the package asked for).
      reason[$part]=$(sed -n 's/^E: //p' "$work/install.log" | head -n 1)
      [ -n "${reason[$part]}" ] || reason[$part]="apt-get install failed"
      [ -z "$failed_index" ] || reason[$part]+=" (the index $failed_index failed to update)"
    fi
  done
fi

# What drives Chromium in the page's tests and checks its accessibility (playwright-core,
# axe-core), and the JavaScript's linter and formatter (biome), from npm into tests/web/, at the
# versions its lock file names (no browser is downloaded: the tests use Debian's chromium). Of
# biome's builds for each platform, npm installs the one for this machine alone.
web_tests="$(cd "$(dirname "$0")/../tests/web" && pwd)"
playwright_installed() {
  node -e 'const [dir] = process.argv.slice(1);
    const locked = require(dir + "/package-lock.json").packages;
    for (const [path, wanted] of Object.entries(locked)) {
      if (path && wanted.optional && !require("fs").existsSync(dir + "/" + path)) continue;
      if (path && require(dir + "/" + path + "/package.json").version !== wanted.version) {
        process.exit(1);
      }
    }' "$web_tests" 2>/dev/null
}
if { [[ " ${parts[*]} " == *" browser "* ]] || [[ " ${parts[*]} " == *" lint "* ]]; } &&
  command -v npm >/dev/null 2>&1 && ! playwright_installed; then
  # npm's cache and logs in a directory of the run's, not in ~/.npm.
  if ! npm ci --prefix "$web_tests" --no-audit --no-fund --no-update-notifier \
    --cache "$work/npm" 2>&1 | tee "$work/npm.log"; then
    reason[browser]="npm ci: $(grep -m 1 -E '^npm (ERR!|error) ' "$work/npm.log" || echo failed)"
  fi
fi
if [[ " ${parts[*]} " == *" lint "* ]] && [ -z "${reason[lint]:-}" ] && ! playwright_installed; then
  reason[lint]="biome is not installed in tests/web/node_modules (npm ci --prefix tests/web)"
fi
if [[ " ${parts[*]} " == *" browser "* ]] && [ -z "${reason[browser]:-}" ] &&
  ! playwright_installed; then
  reason[browser]="the packages of tests/web/package-lock.json are not installed in tests/web/node_modules (they need npm)"
fi

for part in "${parts[@]}"; do
  if [ -z "${reason[$part]:-}" ] && [ -n "$(missing "$part")" ]; then
    reason[$part]="not installed: $(missing "$part" | paste -sd ' ')"
  fi
done
if [ -n "$status_file" ]; then
  for part in "${parts[@]}"; do
    printf '%s\t%s\n' "$part" "${reason[$part]:-ok}"
  done >"$status_file"
fi
failed=0
for part in "${parts[@]}"; do
  if [ -n "${reason[$part]:-}" ]; then
    echo "install-deps: $part is missing: ${reason[$part]}" >&2
    failed=1
  fi
done
exit "$failed"
