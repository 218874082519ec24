#!/usr/bin/env bash
# Makes the bundled sample clip from ffmpeg's own test sources: 3 seconds of
# 320x180 H.264 at 25 fps with a sine tone as AAC audio.
set -euo pipefail
cd "$(dirname "$0")/.."
ffmpeg -hide_banner -loglevel error -nostdin -y \
  -f lavfi -i "testsrc2=size=320x180:rate=25" -f lavfi -i "sine=frequency=440:sample_rate=48000" \
  -t 3 -c:v libx264 -preset veryslow -crf 30 -pix_fmt yuv420p -c:a aac -b:a 48k \
  -map_metadata -1 -fflags +bitexact -flags:v +bitexact -flags:a +bitexact \
  samples/sample.mp4
