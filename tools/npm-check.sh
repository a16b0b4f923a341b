#!/usr/bin/env bash
# The npm package as a user installs it: packs it (tools/npm-pack.sh), installs the tarball into
# an empty folder with the network off, and runs tests/npm/install.test.mjs there: `npx sondrax`
# and report() on the example, the sample files and bad ones, against the native program, and
# report() in Chromium on chosen files (with playwright-core from tests/web/, where installed);
# and tests/npm/check.test.mjs: the installed sondrax-check against the native one.
#
# Usage: tools/npm-check.sh [NATIVE [NATIVE_CHECK]]
#   (default build/sondrax and the sondrax-check beside it, built by tools/check.sh)
# Exit status 77: a tool is missing (the reason is printed), nothing was checked.
set -euo pipefail
cd "$(dirname "$0")/.."
native=$(realpath "${1:-build/sondrax}")
native_check=$(realpath "${2:-$(dirname "$native")/sondrax-check}")

for tool in emcmake npm npx node python3; do
  if ! command -v "$tool" >/dev/null; then
    echo "SKIPPED npm: $tool is not installed"
    exit 77
  fi
done
for program in "$native" "$native_check"; do
  if [ ! -x "$program" ]; then
    echo "tools/npm-check.sh: no native program at $program (build it first)" >&2
    exit 1
  fi
done

tarball=$(tools/npm-pack.sh)
work=$(mktemp -d "${TMPDIR:-/tmp}/sondrax-npm-install.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir "$work/app" "$work/cache"
# npm's cache, logs and settings in the run's folder; offline, and with no registry it could
# reach should it try: the package has no dependencies, so nothing is to be fetched.
export npm_config_cache="$work/cache" npm_config_userconfig="$work/npmrc" \
  npm_config_offline=true npm_config_registry=http://127.0.0.1:9/ \
  npm_config_audit=false npm_config_fund=false npm_config_update_notifier=false
offline=()
# Where the system allows it, the install runs in a network namespace of its own: no network.
if unshare -rn true 2>/dev/null; then
  offline=(unshare -rn)
fi
(cd "$work/app" && echo '{"private": true}' >package.json &&
  "${offline[@]}" npm install --no-save --loglevel=error "$tarball")
echo "installed $(basename "$tarball") into an empty folder${offline:+ without a network}:" \
  "$(du -sb "$work/app/node_modules/sondrax" | cut -f1) bytes unpacked"

SONDRAX_INSTALLED="$work/app" SONDRAX_NATIVE="$native" SONDRAX_NATIVE_CHECK="$native_check" \
  node --test tests/npm/install.test.mjs tests/npm/check.test.mjs
