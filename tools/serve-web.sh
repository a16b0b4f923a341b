#!/usr/bin/env bash
# Builds the page (the WebAssembly build, in build-web/) and serves it on this machine only.
# Usage: tools/serve-web.sh [PORT]   (default 8000; needs emscripten: tools/install-deps.sh)
set -euo pipefail
cd "$(dirname "$0")/.."
port=${1:-8000}

cmake --preset web >/dev/null
cmake --build --preset web
echo "Serving the page at http://127.0.0.1:$port/ (Ctrl-C ends it)"
exec python3 -m http.server "$port" --bind 127.0.0.1 --directory build-web/site
