#!/usr/bin/env bash
# Runs the Windows program in a wine console on a pseudo-terminal (a tmux window) with the
# console's output code page set to 437, 850 and 65001, and checks what the terminal shows:
# the banner's rule, the marks, the hex dump's closing, a file's escape bytes as symbols, the
# fatal error text's umlaut and a file name with an umlaut. Output redirected to a file from
# the same console must stay the exact code page 437 bytes.
#
# Usage: tools/wine-console.sh SONDRAX_EXE
#
# WINEPREFIX and WINEDEBUG are taken from the environment, as for the other tests under wine, and
# the wine to run it with from SONDRAX_WINE (default: wine); tools/wine-run.sh --env sets all three.
set -euo pipefail

if [ $# -ne 1 ]; then
  echo "usage: $0 SONDRAX_EXE" >&2
  exit 2
fi
root=$(cd "$(dirname "$0")/.." && pwd)
exe=$(realpath "$1")
export WINEDEBUG=${WINEDEBUG:--all}
wine=${SONDRAX_WINE:-wine}
for tool in tmux "$wine"; do
  if ! command -v "$tool" >/dev/null; then
    echo "wine-console: $tool is not installed (tools/install-deps.sh installs it)" >&2
    exit 1
  fi
done

code_pages=(437 850 65001)
work=$(mktemp -d "${TMPDIR:-/tmp}/sondrax-console.XXXXXX")
# A tmux server of its own for each code page; its socket is left behind by tmux, and so is the
# socket's directory (tmux-<uid>), which lies in $work rather than in /tmp.
export TMUX_TMPDIR=$work
socket() { echo "sondrax-console-$$-$1"; }
stop() {
  local path
  path=$(tmux -L "$(socket "$1")" display-message -p '#{socket_path}' 2>/dev/null) || true
  tmux -L "$(socket "$1")" kill-server 2>/dev/null || true
  if [ -n "$path" ]; then
    rm -f "$path"
  fi
}
cleanup() {
  for code_page in "${code_pages[@]}"; do
    stop "$code_page"
  done
  rm -rf "$work"
}
trap cleanup EXIT

# ---- Files -----------------------------------------------------------------------------------

cp "$exe" "$work/sondrax.exe"
cp "$root/tests/data/pcm16-stereo.wav" "$root/tests/data/pcm16-stereo.report" \
  "$root/tests/data/ima-adpcm.wav" "$work/"
# An INFO text that would clear a console which obeyed it: ESC [ 2 J, then BEL and a zero byte.
printf 'RIFF\x48\x00\x00\x00WAVEfmt \x10\x00\x00\x00\x01\x00\x01\x00\x40\x1f\x00\x00\x40\x1f\x00\x00\x01\x00\x08\x00data\x02\x00\x00\x00abLIST\x1a\x00\x00\x00INFOINAM\x0d\x00\x00\x00Clear\x1b[2J\x07me\x00\x00' \
  >"$work/escape.wav"
# The marks and rules as bytes, which the console shows in its own code page: the check that
# the code page was set.
printf '\xfb\xcd\xfe\xf9\xf6\r\n' >"$work/bytes.txt"
# A byte rate of 0 with no samples: the fatal error text "Ungültige Gleitkommaoperation."
printf 'RIFF\x24\x00\x00\x00WAVEfmt \x10\x00\x00\x00\x01\x00\x01\x00\x40\x1f\x00\x00\x00\x00\x00\x00\x01\x00\x08\x00data\x00\x00\x00\x00' \
  >"$work/invalid-op.wav"

# ---- Runs ------------------------------------------------------------------------------------

# show CODE_PAGE: runs the program on every file in one console set to CODE_PAGE and prints
# the terminal's text, history included, when the console has ended.
show() {
  local code_page=$1
  local socket
  socket=$(socket "$code_page")
  local runs="sondrax.exe pcm16-stereo.wav & sondrax.exe ima-adpcm.wav & sondrax.exe escape.wav"
  runs+=" & sondrax.exe invalid-op.wav & sondrax.exe müller.wav"
  runs+=" & sondrax.exe pcm16-stereo.wav >redirected-$code_page.txt & type bytes.txt"
  local command="cd '$work' && $wine cmd /c \"chcp $code_page >NUL & $runs\""
  command+="; echo '== end of the console'; exec sleep 600"
  TERM=xterm-256color LC_ALL=C.UTF-8 tmux -u -L "$socket" -f /dev/null \
    new-session -d -x 200 -y 60 -s t "LC_ALL=C.UTF-8 $command"
  local waited=0 text=""
  while :; do
    text=$(tmux -L "$socket" capture-pane -p -S - -t t)
    if [[ $text == *"== end of the console"* ]]; then
      break
    fi
    if ((++waited == 1200)); then
      echo "wine-console: the console did not end ($code_page):" >&2
      printf '%s\n' "$text" >&2
      stop "$code_page"
      return 1
    fi
    sleep 0.05
  done
  stop "$code_page"
  printf '%s\n' "$text"
}

failed=0
fail() {
  echo "wine-console: $*" >&2
  failed=1
}

# The bytes FB CD FE F9 F6 as each console shows them.
declare -A as_bytes=([437]="√═■∙÷" [850]="¹═■¨÷" [65001]="�����")

for code_page in "${code_pages[@]}"; do
  started=$SECONDS
  screen=$(show "$code_page")
  if [ "$(tail -n 2 <<<"$screen" | head -n 1)" != "${as_bytes[$code_page]}" ]; then
    fail "code page $code_page: the console was not set to it"
  fi
  # Each line as the terminal shows it, in the order of the runs.
  expected=(
    "                       Sondrax"
    "                       ═══════"
    "RIFF                :          √"
    "■ fmt               :          √"
    "    ╘═> CODEC       : Microsoft - uncompressed PCM"
    "■ fact              :          ÷"
    "■ LIST              :          ÷"
    "  ∙ fmt.-spec. data :  [F9 01]"
    "    ∙ \"INAM\" size   :         13 [Clear←[2J•me ]"
    "■ data              :          √"
    "Ungültige Gleitkommaoperation."
    "*ERROR*: Could not open \"Z:${work//\//\\}\\müller.wav\""
  )
  for line in "${expected[@]}"; do
    if ! grep -qxF -- "$line" <<<"$screen"; then
      fail "code page $code_page: no line \"$line\""
    fi
  done
  # Nothing cleared the terminal or the console: every run's banner is still there.
  banners=$(grep -cxF "                       Sondrax" <<<"$screen" || true)
  if [ "$banners" != 5 ]; then
    fail "code page $code_page: $banners banners instead of 5"
  fi
  if ! cmp -s "$work/redirected-$code_page.txt" "$work/pcm16-stereo.report"; then
    fail "code page $code_page: the redirected report is not the code page 437 bytes"
  fi
  if [ "$failed" != 0 ]; then
    printf '%s\n' "$screen" >&2
    exit 1
  fi
  echo "wine-console: code page $code_page as on a code page 437 console ($((SECONDS - started)) s)"
done
