#!/usr/bin/env bash
# The npm package's size and speed: packs it (tools/npm-pack.sh), installs the tarball into a
# temporary folder and runs bench/npm.mjs there. Prints figures; not part of CI, since they
# depend on the machine and its load.
#
#   bench/npm.sh
set -euo pipefail
cd "$(dirname "$0")/.."
tarball=$(tools/npm-pack.sh)
work=$(mktemp -d "${TMPDIR:-/tmp}/sondrax-npm-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
export npm_config_cache="$work/cache" npm_config_offline=true npm_config_audit=false \
  npm_config_fund=false npm_config_update_notifier=false npm_config_progress=false
(cd "$work" && echo '{"private": true}' >package.json &&
  npm install --no-save --loglevel=error "$tarball" >/dev/null)
echo "package: $(basename "$tarball") $(stat -c %s "$tarball") bytes packed," \
  "$(du -sb "$work/node_modules/sondrax" | cut -f1) bytes unpacked" \
  "($(stat -c %s "$work/node_modules/sondrax/sondrax-core.js") of them the program)"
echo "machine: $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg)"
node bench/npm.mjs "$work" "$PWD/tests/data"
