#!/usr/bin/env bash
# Makes the seed corpus of the fuzz_mapgen fuzzer: small valid videos, each a
# few KB of 1 to 6 frames, in the containers and codecs that mapgen meets in
# practice, plus a few files that take the run's refusal paths.
#
#   bash scripts/make_fuzz_corpus.sh [OUTPUT_DIR]    (default: fuzz/corpus/seeds)
#
# Every clip comes from ffmpeg's own lavfi sources (testsrc2, a gradient of
# moving colours; sine for audio), so nothing outside this script goes in.
# The seeds in fuzz/corpus/seeds/ were made with this script and Debian 12's
# ffmpeg 5.1 and are kept in the tree, so that a fuzz run does not change
# when an encoder release writes different bytes. Rerun it only to add or
# remake seeds; fuzz/corpus/regressions/ holds the inputs of fixed findings
# and is not made here.
set -euo pipefail
cd "$(dirname "$0")/.."

out="${1:-fuzz/corpus/seeds}"
mkdir -p "${out}"
ff=(/usr/bin/ffmpeg -hide_banner -loglevel error -y)
# Leave out the encoder's version and creation times where the muxer allows.
exact=(-fflags +bitexact -flags:v +bitexact -map_metadata -1)

# The lavfi source of a WxH test picture at 25 fps.
testsrc() { echo "testsrc2=size=$1:rate=25"; }

# name  size  frames  encoder and muxer arguments...
clip() {
  local name="$1" size="$2" frames="$3"
  shift 3
  "${ff[@]}" -f lavfi -i "$(testsrc "${size}")" -frames:v "${frames}" "${exact[@]}" "$@" "${out}/${name}"
}

# The containers and codecs.
clip h264_ip.mp4 32x32 4 -c:v libx264 -preset ultrafast -bf 0 -pix_fmt yuv420p
# B-frames (decoder reordering delay) and an interleaved audio stream.
"${ff[@]}" -f lavfi -i "$(testsrc 64x48)" -f lavfi -i sine=frequency=440:sample_rate=8000 -frames:v 6 -t 0.24 "${exact[@]}" \
  -c:v libx264 -preset veryfast -x264-params bframes=3:b-adapt=0 -pix_fmt yuv420p -c:a aac -b:a 16k \
  -shortest "${out}/h264_bframes_audio.mp4"
clip ffv1_gray.mkv 48x32 3 -c:v ffv1 -pix_fmt gray
clip vp9.webm 32x32 3 -c:v libvpx-vp9 -deadline realtime -b:v 100k
clip vp8.webm 40x24 3 -c:v libvpx -deadline realtime -b:v 100k
clip mpeg4_bframes.avi 96x64 4 -c:v mpeg4 -bf 1 -q:v 8
clip mpeg2.ts 64x64 4 -c:v mpeg2video -bf 2 -q:v 8
clip yuv420p.y4m 16x16 3 -pix_fmt yuv420p
clip rgb24.nut 24x16 3 -c:v rawvideo -pix_fmt rgb24
clip anim.gif 32x24 3
clip mjpeg.mov 40x32 3 -c:v mjpeg -q:v 10
clip hevc.mp4 32x32 3 -c:v libx265 -preset ultrafast -x265-params log-level=none
clip av1.ivf 32x32 2 -c:v libaom-av1 -cpu-used 8 -b:v 50k
clip prores_10bit.mov 32x32 2 -c:v prores_ks -profile:v 0
# Every frame a key frame: with inter frames, ffmpeg 5.1 reads only the first
# frame of so short a clip back.
clip theora.ogg 32x32 3 -c:v libtheora -q:v 5 -g 1
clip png_rgba.mkv 24x24 2 -c:v png -pix_fmt rgba

# Sizes that are no multiple of 8 or 64: partial 8x8 blocks left out, and a
# column of SVT blocks with no whole 8x8 block under it (70 = 64 + 6).
clip gray_70x36.nut 70x36 3 -c:v rawvideo -pix_fmt gray
clip yuv444_17x9.y4m 32x16 2 -vf scale=17:9 -pix_fmt yuv444p

# The refusals: one frame (no frame pair), 6x6 (no whole block), audio only.
clip one_frame.mp4 32x32 1 -c:v libx264 -preset ultrafast
clip tiny_6x6.y4m 6x6 3 -pix_fmt yuv444p
"${ff[@]}" -f lavfi -i sine=frequency=440:sample_rate=8000 -t 0.05 "${exact[@]}" "${out}/audio_only.wav"

# Two video streams: the best one is analysed, the other's packets dropped.
"${ff[@]}" -f lavfi -i "$(testsrc 32x32)" -f lavfi -i "$(testsrc 16x16)" -frames:v 3 "${exact[@]}" \
  -map 0:v -map 1:v -c:v ffv1 "${out}/two_video_streams.mkv"

# The frame size changes in the middle of the stream: two transport streams
# of different sizes, one after the other.
tmp="$(mktemp -d)"
trap 'rm -rf "${tmp}"' EXIT
"${ff[@]}" -f lavfi -i "$(testsrc 32x32)" -frames:v 2 "${exact[@]}" -c:v mpeg2video "${tmp}/a.ts"
"${ff[@]}" -f lavfi -i "$(testsrc 48x32)" -frames:v 2 "${exact[@]}" -c:v mpeg2video "${tmp}/b.ts"
cat "${tmp}/a.ts" "${tmp}/b.ts" >"${out}/size_change.ts"

du -cb "${out}"/* | tail -n 1
