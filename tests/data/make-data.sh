#!/usr/bin/env bash
# Makes the real-world test files with sox and ffmpeg. The files are committed; run this only
# to make them again (the expected reports, *.report, are then checked by hand line by line).
set -euo pipefail
cd "$(dirname "$0")"

# 16-bit stereo PCM, 0.1 s at 44.1 kHz.
sox -n -r 44100 -c 2 -b 16 -e signed-integer pcm16-stereo.wav synth 0.1 sine 440 sine 660
# 8-bit mono with an odd sample count: the data chunk is followed by its pad byte.
sox -n -r 8000 -c 1 -b 8 -e unsigned-integer pcm8-mono-odd.wav synth 0.100125 sine 1000
# IMA ADPCM: a 20-byte format chunk and a fact chunk.
sox -n -r 22050 -c 1 -e ima-adpcm ima-adpcm.wav synth 0.1 sine 440
# 32-bit float, format tag 3, with the fact chunk sox writes for it.
sox -n -r 48000 -c 1 -b 32 -e floating-point float32.wav synth 0.05 sine 300
# A-law, 8 kHz mono, with a fact chunk.
sox -n -r 8000 -c 1 -e a-law alaw.wav synth 0.1 sine 440
# 6 channels (5.1), 16-bit: ffmpeg writes WAVE_FORMAT_EXTENSIBLE.
ffmpeg -loglevel error -y -f lavfi -i "sine=frequency=200:duration=0.02:sample_rate=48000" \
  -ac 6 -c:a pcm_s16le -fflags +bitexact six-channels.wav
# INFO tags written by ffmpeg: its LIST chunk stands before the data and is reported as fact.
ffmpeg -loglevel error -y -f lavfi -i "sine=frequency=500:duration=0.02:sample_rate=8000" \
  -c:a pcm_u8 -fflags +bitexact -metadata title="Odd title" -metadata artist="Even artist" \
  ffmpeg-info.wav
# INFO tags after the data, texts of odd and even length, as many editors write them: sox
# samples with a LIST chunk appended.
sox -n -r 11025 -c 1 -b 16 -e signed-integer info-after-data.wav synth 0.05 sine 440
python3 - info-after-data.wav <<'PY'
import struct, sys
path = sys.argv[1]
def item(tag, text):
    body = text.encode("ascii") + b"\0"
    return tag + struct.pack("<I", len(body)) + body + (b"\0" if len(body) % 2 else b"")
info = b"INFO" + item(b"INAM", "Tone") + item(b"IART", "Sondrax tests") + item(b"ICMT", "odd and even")
data = open(path, "rb").read() + b"LIST" + struct.pack("<I", len(info)) + info
data = data[:4] + struct.pack("<I", len(data) - 8) + data[8:]
open(path, "wb").write(data)
PY
cp info-after-data.wav ../../examples/example.wav

for f in *.wav; do
  ../../build/sondrax "$f" > "${f%.wav}.report" || true
done
