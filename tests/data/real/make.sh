#!/bin/sh
# Makes the real files of the diagnosis tests with sox and ffmpeg (apt-get install sox ffmpeg).
# They are kept in the repository: the tests must not depend on either tool being installed.
# Each holds a few milliseconds of a sine, so that the set stays a few kilobytes.
set -eu
cd "$(dirname "$0")"
tone="sine=f=440:d=0.01:r=8000"
sox -n -r 8000 -c 2 -b 24 sox-s24-stereo.wav synth 0.01 sine 440
sox -n -r 8000 -c 6 -b 16 sox-6ch.wav synth 0.01 sine 440
sox -n -r 8000 -c 1 -e floating-point -b 32 sox-float32.wav synth 0.01 sine 440
# To a pipe, a writer cannot go back to fill in the sizes.
sox -n -r 8000 -c 1 -b 16 -t wav - synth 0.01 sine 440 | cat >sox-pipe.wav
ffmpeg -loglevel error -f lavfi -i "$tone" -f wav - | cat >ffmpeg-pipe.wav
ffmpeg -loglevel error -y -f lavfi -i "$tone" -rf64 always ffmpeg-rf64.wav
ffmpeg -loglevel error -f lavfi -i "$tone" -rf64 always -f wav - | cat >ffmpeg-rf64-pipe.wav
ffmpeg -loglevel error -y -f lavfi -i "$tone" -c:a pcm_s24le -metadata title="My take" \
  ffmpeg-s24-title.wav
ffmpeg -loglevel error -y -f lavfi -i "$tone" -write_bext 1 -metadata description="Scene 4 take 2" \
  -metadata originator="Field rec" ffmpeg-bext.wav
ffmpeg -loglevel error -y -f lavfi -i "sine=f=440:d=0.1:r=8000" -c:a libmp3lame ffmpeg-mp3.wav
