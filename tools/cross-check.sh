#!/usr/bin/env bash
# Runs two builds of the program on the same files and arguments and requires the same standard
# output, standard error and exit code from both: the native Linux program as the reference,
# and the Windows program under wine or a Linux cross-build under qemu's user-mode emulator.
#
# Usage: tools/cross-check.sh LINUX_SONDRAX OTHER_SONDRAX [RUNNER]
#
#   tools/wine-run.sh win32 DIR --env tools/cross-check.sh build/sondrax build-win/sondrax.exe
#   tools/cross-check.sh build/sondrax build-s390x/sondrax qemu-s390x-static
#
# The files are the sample files of tests/data and edge files generated here: play times whose
# digits depend on extended-precision rounding, the fixed-point renderings reachable through
# the play time, truncated files, negative and wrapping sizes, 2 GiB files, odd arguments and
# unusual standard outputs. Against the Windows program three things may differ, and are
# brought to one form before the comparison: the module name in the fatal error text
# ("sondrax" / "sondrax.exe"), and the form of a path in the open error ("/tmp/x" /
# "Z:\tmp\x"). The code location digits are compared as they are: they name the failing
# statement, which must be the same on both. Against a Linux cross-build nothing may differ.
#
# Against the Windows program it runs under tools/wine-run.sh, which sets WINEPREFIX, WINEDEBUG
# and the wine to run it with (SONDRAX_WINE): `ctest --preset win32 -R CrossCheck` runs it so.
# SONDRAX_CROSS_KEEP=1 keeps the files.
set -euo pipefail

if [ $# -lt 2 ] || [ $# -gt 3 ]; then
  echo "usage: $0 LINUX_SONDRAX OTHER_SONDRAX [RUNNER]" >&2
  exit 2
fi
root=$(cd "$(dirname "$0")/.." && pwd)
if [ ! -x "$1" ]; then
  # CTest's exit status for a skip.
  echo "SKIPPED: no native program to compare with at $1 (cmake --workflow --preset release)"
  exit 77
fi
linux=$(realpath "$1")
other=$(realpath "$2")
windows=false
case $other in
*.exe) windows=true ;;
esac
runner=${3:-}
if [ -z "$runner" ] && [ "$windows" = true ]; then
  runner=${SONDRAX_WINE:-wine}
fi
export LC_ALL=C
export WINEDEBUG=${WINEDEBUG:--all}

work=$(mktemp -d "${TMPDIR:-/tmp}/sondrax-cross.XXXXXX")
cleanup() {
  if [ -n "${SONDRAX_CROSS_KEEP:-}" ]; then
    echo "cross-check: files kept in $work/files" >&2
  else
    rm -rf "$work"
  fi
}
trap cleanup EXIT
if [ "$windows" = true ] && [ -z "${WINEPREFIX:-}" ]; then
  echo "usage: tools/wine-run.sh win32|win64 DIR --env $0 ... (no WINEPREFIX)" >&2
  exit 2
fi

# ---- Generating files ------------------------------------------------------------------------
# Bytes are written as printf escapes "\xHH", four characters each, so a piece's length in
# bytes is its length in characters divided by four.

files="$work/files"
mkdir -p "$files"

le16() { printf '\\x%02x\\x%02x' $(($1 & 255)) $(($1 >> 8 & 255)); }
le32() {
  local v=$(($1 & 0xFFFFFFFF))
  printf '\\x%02x\\x%02x\\x%02x\\x%02x' $((v & 255)) $((v >> 8 & 255)) $((v >> 16 & 255)) \
    $((v >> 24 & 255))
}
txt() {
  local s=$1 out="" i
  for ((i = 0; i < ${#s}; i++)); do
    printf -v out '%s\\x%02x' "$out" "'${s:i:1}"
  done
  printf '%s' "$out"
}
zeros() { local out="" i; for ((i = 0; i < $1; i++)); do out+='\x00'; done; printf '%s' "$out"; }
len() { echo $((${#1} / 4)); }

# chunk ID BODY [SIZE]: a chunk header (the body's length unless SIZE is given) and the body.
chunk() { printf '%s' "$(txt "$1")$(le32 "${3:-$(len "$2")}")$2"; }
# fmt TAG CHANNELS RATE BYTE_RATE ALIGN BITS [TAIL]: a "fmt " chunk.
fmt() {
  chunk "fmt " "$(le16 "$1")$(le16 "$2")$(le32 "$3")$(le32 "$4")$(le16 "$5")$(le16 "$6")${7:-}"
}
pcm() { fmt 1 2 44100 176400 4 16; }
# wav NAME BODY [RIFF_SIZE]: a RIFF/WAVE file; the RIFF size is the real one unless given.
# The files' bytes are written as printf escapes (\xHH), so they go in printf's format.
wav() {
  # shellcheck disable=SC2059
  printf "$(txt RIFF)$(le32 "${3:-$(($(len "$2") + 4))}")$(txt WAVE)$2" >"$files/$1"
}
# raw NAME BYTES: a file of exactly these bytes.
# shellcheck disable=SC2059
raw() { printf "$2" >"$files/$1"; }
# grow NAME LENGTH: extends a file with zeros to LENGTH bytes (sparse: no disk space used).
grow() { truncate -s "$2" "$files/$1"; }

# A PCM file with DATA_SIZE bytes of samples at BYTE_RATE; the samples are sparse zeros.
play_time() {
  local name=$1 size=$2 rate=$3
  wav "$name" "$(fmt 1 1 8000 "$rate" 1 8)$(chunk data "" "$size")" \
    $((size > 0 ? 4 + 24 + 8 + size : 36))
  if ((size > 0 && size < 100000000)); then
    grow "$name" $((44 + size))
  fi
}

# Play times from the report's own examples, and those whose digits hang on a last bit.
play_time pt-70s.wav 12348000 176400
play_time pt-130s.wav 22932000 176400
play_time pt-9.996s.wav 9996 1000
play_time pt-65.5s.wav 131 2
play_time pt-3.5s.wav 7 2
play_time pt-119.996s.wav 119996 1000
play_time pt-7.5s.wav 1323000 176400
play_time pt-59.995s.wav 11999 200
play_time pt-617.285s.wav 123457 200
play_time pt-double-rounded.wav 337509231 22050
play_time pt-negative-rate.wav 1000 -100
play_time pt-zero-size.wav 0 1000
play_time pt-rate0.wav 1000 0
play_time pt-rate0-size0.wav 0 0
# The fixed-point table, as far as a quotient of two 32-bit numbers reaches it.
play_time wf-3.14159.wav 314159 100000
play_time wf-65.25.wav 6525 100
play_time wf-minus-12.5.wav 25 -2
play_time wf-5.3.wav 53 10
play_time wf-0.125.wav 1 8
play_time wf-minus-0.125.wav 1 -8
play_time wf-2.675.wav 2675 1000
play_time wf-9.995.wav 9995 1000
play_time wf-59.999.wav 59999 1000
play_time wf-99.995.wav 99995 1000
play_time wf-0.999.wav 999 1000
play_time wf-123456789.125.wav 987654313 8
play_time wf-2147483647.wav 2147483647 1
play_time wf-tiny.wav 1 2147483647
play_time wf-minus-tiny.wav 1 -2147483648
play_time wf-minus-zero.wav 0 -5
play_time wf-third.wav 100 3
play_time wf-two-thirds.wav 200 3
play_time wf-sevenths.wav 2000000000 7
play_time wf-ninths.wav 5 9
play_time wf-near-one.wav 2147483647 2147483646
play_time wf-small.wav 7 123456
play_time wf-million.wav 999999999 1000

# Truncations: every header and body cut short.
raw trunc-empty.wav ""
raw trunc-4.wav "$(txt RIFF)"
wav trunc-header-only.wav "" 4
wav trunc-fmt-header.wav "$(txt "fmt ")$(le32 16)" 28
wav trunc-fmt-body.wav "$(txt "fmt ")$(le32 16)$(le16 1)$(le16 2)$(le32 44100)" 28
wav trunc-after-fmt.wav "$(pcm)"
wav trunc-data-header.wav "$(pcm)$(txt data)"
wav trunc-fact-body.wav "$(fmt 2 1 8000 4096 256 4)$(chunk fact "$(le32 1000)" 8)"
wav trunc-list-item.wav \
  "$(pcm)$(chunk data "$(zeros 4)")$(txt LIST)$(le32 20)$(txt INFOINAM)$(le32 8)$(txt abc)"
wav trunc-list-header.wav "$(pcm)$(chunk data "$(zeros 4)")$(txt LI)"
wav data-beyond-rest.wav "$(pcm)$(chunk data "$(zeros 8)" 40)"

# Negative and wrapping sizes.
wav neg-riff.wav "$(pcm)$(chunk data "$(zeros 4)")" -1
wav neg-fmt.wav "$(chunk "fmt " "$(zeros 16)" -1)"
wav neg-fmt-min.wav "$(chunk "fmt " "$(zeros 16)" -2147483648)"
wav neg-fact.wav "$(fmt 2 1 8000 4096 256 4)$(chunk fact "$(zeros 8)" -8)$(chunk data "$(zeros 4)")"
wav neg-data.wav "$(pcm)$(chunk data "$(zeros 8)" -100)"
wav neg-list.wav "$(pcm)$(chunk data "$(zeros 4)")$(chunk LIST "$(txt INFO)" -4)"
wav neg-info-item.wav \
  "$(pcm)$(chunk data "$(zeros 4)")$(chunk LIST "$(txt INFO)$(chunk INAM "$(txt ab)" -2)")"
wav huge-fact.wav "$(fmt 2 1 8000 4096 256 4)$(chunk fact "$(zeros 8)" 2147483632)"
wav huge-list.wav "$(pcm)$(chunk data "$(zeros 4)")$(chunk LIST "$(txt INFO)" 2147483647)"
wav huge-fmt.wav "$(chunk "fmt " "$(zeros 16)" 1000000)"
# Passing over this chunk would need a position above 2 GiB: the sum wraps negative (131).
wav wrap-skip.wav "$(pcm)$(chunk data "$(zeros 4)")$(chunk junk "$(zeros 4)" 2147483640)"

# Ids, format tags and chunk layouts.
raw not-riff.wav "$(txt RIFX)$(le32 4)$(txt WAVE)"
raw not-wave.wav "$(txt RIFF)$(le32 4)$(txt "AVI ")"
wav no-fmt.wav "$(chunk data "$(zeros 4)")"
wav fmt-18.wav "$(fmt 1 1 8000 8000 1 8 "$(le16 0)")$(chunk data "$(zeros 2)")"
wav fmt-adpcm.wav "$(fmt 2 1 8000 4096 256 4 "$(le16 32)$(zeros 32)")$(chunk data "$(zeros 8)")"
wav fmt-float.wav "$(fmt 3 2 48000 384000 8 32)$(chunk data "$(zeros 16)")"
wav fmt-tag7.wav "$(fmt 7 1 8000 8000 1 8)$(chunk fact "$(le32 4)")$(chunk data "$(zeros 4)")"
wav fmt-mp3.wav "$(fmt 0x55 2 44100 16000 1 0 "$(le16 12)$(zeros 12)")$(chunk data "$(zeros 8)")"
wav fmt-extensible.wav \
  "$(fmt 0xFFFE 6 48000 1728000 36 48 "$(le16 22)$(zeros 22)")$(chunk data "$(zeros 36)")"
wav fmt-unknown.wav "$(fmt 0x1234 0 1 1 0 0)$(chunk data "$(zeros 2)")"
wav fmt-channels.wav "$(fmt 1 65535 8000 8000 1 8)$(chunk data "$(zeros 2)")"
wav two-facts.wav \
  "$(fmt 2 1 8000 4096 256 4)$(chunk fact "$(le32 10)")$(chunk junk "$(txt xyz)\x00")$(chunk data "$(zeros 4)")"
wav no-data.wav "$(pcm)$(chunk fact "$(le32 10)")"
wav odd-data-pad.wav "$(fmt 1 1 8000 8000 1 8)$(chunk data "\x01\x02\x03" 3)\x00"
wav info-items.wav "$(pcm)$(chunk data "$(zeros 4)")$(chunk LIST \
  "$(txt INFO)$(chunk INAM "$(txt Title)\x00" 5)$(chunk ICMT "$(txt "x")\x07\x1b$(txt "[2J")\x00\x81\xfe")")"
wav info-odd-no-pad.wav "$(pcm)$(chunk data "$(zeros 4)")$(chunk LIST \
  "$(txt INFO)$(chunk INAM "$(txt abc)")$(chunk IART "$(txt de)")")"
wav list-not-info.wav "$(pcm)$(chunk data "$(zeros 4)")$(chunk LIST "$(txt adtl)$(zeros 8)")"
wav two-lists.wav "$(pcm)$(chunk data "$(zeros 4)")$(chunk LIST \
  "$(txt INFO)$(chunk INAM "$(txt ab)")")$(chunk LIST "$(txt INFO)$(chunk ISFT "$(txt cd)")")"
wav junk-after-data.wav "$(pcm)$(chunk data "$(zeros 4)")$(chunk junk "$(zeros 6)")"

# Files of 2 GiB and a little less, and of 3 and 5 GiB (sparse), as far as the program reads
# them: below 2 GiB sizes are signed, from 2 GiB on unsigned, with exact positions.
wav large-2gib.wav "$(pcm)$(chunk data "" $((0x80000000 - 44)))" $((0x80000000 - 8))
grow large-2gib.wav $((0x80000000))
wav large-1.9gib.wav "$(pcm)$(chunk data "" $((0x7A000000 - 44)))" $((0x7A000000 - 8))
grow large-1.9gib.wav $((0x7A000000))
gib3=$((3 << 30))
info="$(chunk LIST "$(txt INFO)$(chunk INAM "$(txt Title)\x00")")"
wav large-3gib-info.wav "$(pcm)$(chunk data "" $gib3)" $((36 + gib3 + $(len "$info")))
grow large-3gib-info.wav $((44 + gib3))
# shellcheck disable=SC2059
printf "$info" >>"$files/large-3gib-info.wav"
wav large-3gib-max-data.wav "$(pcm)$(chunk data "" $((0xFFFFFFFF)))" $((gib3 - 8))
grow large-3gib-max-data.wav $gib3
wav large-3gib-junk.wav "$(pcm)$(chunk JUNK "$(zeros 16)" $((0xFFFFFFF8)))$(chunk data "")"
grow large-3gib-junk.wav $gib3
# A writer that kept its sizes modulo 2^32.
gib5=$((5 << 30))
wav large-5gib-wrapped.wav "$(pcm)$(chunk data "" $(((gib5 - 44) & 0xFFFFFFFF)))" \
  $(((gib5 - 8) & 0xFFFFFFFF))
grow large-5gib-wrapped.wav $gib5

cp "$root"/tests/data/*.wav "$files/"
cp "$files/pcm16-stereo.wav" "$files/with blank.wav"

# ---- Running both programs -------------------------------------------------------------------

# Both sides in one form: the module name, and a Windows path in an "*ERROR*:" line as the
# POSIX path wine maps it to (drive Z: is the root).
normalise() {
  sed -e 's/ in Modul [^ ]* bei / in Modul MODULE bei /' \
    -e '/^\*ERROR\*: .*"Z:\\/{s/"Z:\\/"\//;s/\\/\//g;}' "$1"
}

# run SIDE STDOUT ARGS...: one run in the work directory; STDOUT is file, pipe, null, full or
# closed. Leaves SIDE.out, SIDE.err and SIDE.rc.
run() {
  local side=$1 mode=$2
  shift 2
  local cmd=("$linux")
  if [ "$side" = other ]; then
    # shellcheck disable=SC2206  # the runner may be a command with arguments
    cmd=($runner "$other")
  fi
  local status=0
  case $mode in
  file) "${cmd[@]}" "$@" >"$work/$side.out" 2>"$work/$side.err" || status=$? ;;
  pipe)
    {
      "${cmd[@]}" "$@" 2>"$work/$side.err" || status=$?
      echo "$status" >"$work/$side.rc"
    } | cat >"$work/$side.out"
    status=$(cat "$work/$side.rc")
    ;;
  null) "${cmd[@]}" "$@" >/dev/null 2>"$work/$side.err" || status=$? ;;
  full) "${cmd[@]}" "$@" >/dev/full 2>"$work/$side.err" || status=$? ;;
  closed) "${cmd[@]}" "$@" >&- 2>"$work/$side.err" || status=$? ;;
  esac
  if [ "$mode" != file ] && [ "$mode" != pipe ]; then
    : >"$work/$side.out"
  fi
  echo "$status" >"$work/$side.rc"
}

passed=0
failed=0
check() {
  local mode=$1
  shift
  # Standard input is never read, but wine needs descriptor 0 open when 1 is closed.
  (cd "$files" && run linux "$mode" "$@" && run other "$mode" "$@") </dev/null
  local label="$mode: ${*:-(no argument)}"
  local ok=1
  for part in out err rc; do
    normalise "$work/linux.$part" >"$work/linux.$part.n"
    normalise "$work/other.$part" >"$work/other.$part.n"
  done
  if [ "$mode" = closed ] && [ "$windows" = true ]; then
    # Wine gives a closed descriptor 1 to the first file it opens itself (the current
    # directory, read-only), so the program finds a handle and its first write fails with 6.
    # Being a disk file, it is written only at the end, so the failing statement differs too.
    # A Windows process started without a standard output handle gets 105 at the first write,
    # as on Linux (the unit tests start sondrax.exe so).
    sed -i 's/^E\/A-Fehler 6\.\r$/E\/A-Fehler 105.\r/' "$work/other.err.n"
    sed -i 's/ bei [0-9A-F]\{8\}\./ bei LOCATION./' "$work/other.err.n" "$work/linux.err.n"
  fi
  for part in out err rc; do
    if ! cmp -s "$work/linux.$part.n" "$work/other.$part.n"; then
      ok=0
      echo "DIFFERENT $part: $label"
      diff <(od -An -c "$work/linux.$part.n") <(od -An -c "$work/other.$part.n") | head -20 || true
    fi
  done
  if [ $ok = 1 ]; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
  fi
}

check file
check file ""
check file missing.wav
check file no-such-dir/x.wav
check file ./sub/../missing.wav
check file .
check file "with blank.wav"
check file pcm16-stereo.wav second.wav
check pipe pcm16-stereo.wav
check pipe trunc-empty.wav
check null pcm16-stereo.wav
check full pcm16-stereo.wav
check full info-after-data.wav
check closed pcm16-stereo.wav
for path in "$files"/*.wav; do
  name=$(basename "$path")
  if [ "$name" != "with blank.wav" ]; then
    check file "$name"
  fi
done

echo "cross-check of $(basename "$(dirname "$other")")/$(basename "$other"):" \
  "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
