#include "frame_selection.hpp"

#include <fmt/format.h>

namespace quen {

std::vector<std::string> ffmpeg_selection_options(const FrameSelection& selection) {
  std::vector<std::string> options;
  if (selection.video_streams > 1) {
    options.insert(options.end(), {"-map", fmt::format("0:{}", selection.stream_index)});
  }
  if (selection.start_delay_us > 0) options.insert(options.end(), {"-vf", "setpts=PTS-STARTPTS"});
  return options;
}

std::string ffmpeg_seconds(std::uint64_t microseconds) {
  return fmt::format("{}.{:06}", microseconds / 1000000, microseconds % 1000000);
}

}  // namespace quen
