#!/bin/sh
# Runs tools/install-deps.sh, as root, against stand-ins for apt-get and dpkg on a day the
# archive is half synced: apt-get update fails on one index every time, and wine32:i386 cannot
# be installed. The parts around the wine32 part must be installed all the same, and the wine32
# part reported missing with apt's reason. Nothing is downloaded and nothing is installed.
#
# Usage: InstallDepsTest.sh INSTALL_DEPS_SCRIPT
# The stand-ins' bodies are quoted here and expand when apt-get and dpkg are run.
# shellcheck disable=SC2016
set -eu
script=$1
WORK=$(mktemp -d "${TMPDIR:-/tmp}/sondrax-install-deps.XXXXXX")
export WORK
trap 'rm -rf "$WORK"' EXIT
mkdir "$WORK/bin"
: >"$WORK/installed"
stub() {
  printf '#!/bin/sh\n%s\n' "$2" >"$WORK/bin/$1"
  chmod +x "$WORK/bin/$1"
}
stub id 'echo 0'
stub sleep 'echo "sleep $*" >>"$WORK/calls"'
stub dpkg 'case $1 in
  -s) grep -qx "$2" "$WORK/installed" ;;
  --print-foreign-architectures) echo i386 ;;
  *) exit 1 ;;
esac'
stub apt-get 'echo "apt-get $1" >>"$WORK/calls"
if [ "$1" = update ]; then
  echo "Err:6 http://archive.invalid/debian-security bookworm-security/main i386 Packages"
  echo "  File has unexpected size (374820 != 376004). Mirror sync in progress? [IP: 192.0.2.1 80]"
  echo "E: Some index files failed to download. They have been ignored, or old ones used instead."
  exit 100
fi
shift 4 # install -y -q --no-install-recommends
case " $* " in *" wine32:i386 "*)
  echo " wine32:i386 : Depends: libwine:i386 (= 8.0~repack-4) but it is not going to be installed"
  echo "E: Unable to correct problems, you have held broken packages."
  exit 100 ;;
esac
printf "%s\n" "$@" >>"$WORK/installed"'

status=0
PATH="$WORK/bin:$PATH" bash "$script" --status "$WORK/status" linux wine32 cross \
  >"$WORK/output" 2>&1 || status=$?
printf '%s\t%s\n' build ok linux ok cross ok wine32 "Unable to correct problems, you have held \
broken packages. (the index bookworm-security/main i386 Packages failed to update)" |
  sort >"$WORK/expected"
printf 'apt-get update\nsleep 5\napt-get update\nsleep 10\napt-get update\n' >"$WORK/expected-calls"
if [ "$status" -eq 1 ] && sort "$WORK/status" | cmp -s - "$WORK/expected" &&
  head -n 5 "$WORK/calls" | cmp -s - "$WORK/expected-calls" &&
  grep -q 'bookworm-security/main i386 Packages: File has unexpected size' "$WORK/output"; then
  echo "install-deps: every part but wine32 installed; wine32 missing with apt's reason"
  exit 0
fi
echo "install-deps exited $status and wrote:" >&2
cat "$WORK/output" "$WORK/status" >&2
echo "instead of these parts (exit status 1, update tried three times):" >&2
cat "$WORK/expected" >&2
exit 1
