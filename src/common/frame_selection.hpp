#pragma once
// What the ffmpeg program must be told to hand an encoder exactly the frames
// that the analysis saw, one for one, so that line n of the map steers frame
// n of the encode. Its defaults already agree for an ordinary file; they
// part ways in two cases:
// - a file with several video streams: ffmpeg picks the largest picture, the
//   analysis FFmpeg's best stream, so ffmpeg is told the stream;
// - a video that starts after the file does (Matroska with audio first, a
//   delayed video track): ffmpeg's constant-rate output repeats the first
//   frame to fill the gap, so the video's own first timestamp is made 0.
// The turn for display and a container's cropping need nothing: ffmpeg
// applies them by default and the analysis applies them the same way.

#include <cstdint>
#include <string>
#include <vector>

namespace quen {

struct FrameSelection {
  std::uint64_t stream_index = 0;
  std::uint32_t video_streams = 0;
  std::int64_t start_delay_us = 0;  // after the start of the file
};

// The output options for an `ffmpeg -i INPUT ...` command line that decodes
// the analysed frames; none for an ordinary file.
std::vector<std::string> ffmpeg_selection_options(const FrameSelection& selection);

// Microseconds as ffmpeg reads a duration in seconds: "1.023000".
std::string ffmpeg_seconds(std::uint64_t microseconds);

}  // namespace quen
