#!/usr/bin/env bash
# Runs a Windows program of a MinGW-w64 build under wine, in the build's own wine prefix: CTest
# puts it in front of every Windows test (tests/CMakeLists.txt), and its --prefix and --stop
# are the set-up and tear-down of those tests.
#
# Usage: tools/wine-run.sh win32|win64 PREFIX_DIR --prefix      makes the prefix
#        tools/wine-run.sh win32|win64 PREFIX_DIR --stop        ends its wineserver, removes it
#        tools/wine-run.sh win32|win64 PREFIX_DIR PROGRAM [ARGUMENT...]
#        tools/wine-run.sh win32|win64 PREFIX_DIR --env COMMAND [ARGUMENT...]
#            runs a Linux COMMAND that starts Windows programs itself, with SONDRAX_WINE set to
#            the wine that runs them (tools/cross-check.sh, tools/wine-console.sh)
#
# win32 needs the 32-bit wine (Debian's wine32:i386), win64 the 64-bit one (wine64, from amd64
# packages alone). When the one asked for is not installed, the script says so on a line
# "SKIPPED: ..." and exits with 77, which CTest counts as a skip. Everything wine writes stays
# in PREFIX_DIR: the prefix, and wineserver's socket directory (TMPDIR); winemenubuilder, which
# would add menu entries under $HOME, is switched off.
set -euo pipefail

if [ $# -lt 3 ]; then
  echo "usage: $0 win32|win64 PREFIX_DIR --prefix|--stop|PROGRAM [ARGUMENT...]" >&2
  exit 2
fi
arch=$1
dir=$2
shift 2
case $arch in
  win32) bits=32 loader=/usr/lib/wine/wine package=wine32:i386 ;;
  win64) bits=64 loader=/usr/lib/wine/wine64 package=wine64 ;;
  *)
    echo "$0: no wine for $arch (win32 or win64)" >&2
    exit 2
    ;;
esac
if [ ! -x "$loader" ]; then
  echo "SKIPPED: the $bits-bit wine is not installed ($loader; package $package)"
  exit 77
fi
server=/usr/lib/wine/wineserver$bits
[ -x "$server" ] || server=wineserver

mkdir -p "$dir/tmp"
export WINEPREFIX=$dir/prefix WINEARCH=$arch WINELOADER=$loader WINESERVER=$server
export WINEDEBUG=-all TMPDIR=$dir/tmp WINEDLLOVERRIDES="winemenubuilder.exe=d"
export SONDRAX_WINE=$loader
case $1 in
  --prefix)
    # A prefix of its own for each run of the tests, without mono or gecko.
    "$server" -k 2>/dev/null || true
    rm -rf "$WINEPREFIX"
    WINEDLLOVERRIDES="$WINEDLLOVERRIDES;mscoree=;mshtml=" "$loader" wineboot -i >/dev/null 2>&1
    echo "wine: a $arch prefix in $WINEPREFIX"
    ;;
  --stop)
    "$server" -k 2>/dev/null || true
    rm -rf "$dir"
    ;;
  --env)
    shift
    exec "$@"
    ;;
  *) exec "$loader" "$@" ;;
esac
