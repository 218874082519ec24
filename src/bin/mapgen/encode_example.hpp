#pragma once
// The command lines that would encode the input under the map just written.
// Only printed: nothing is run or checked.

#include "common/frame_selection.hpp"

#include <cstdint>
#include <string_view>

namespace mapgen {

struct VideoFormat {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::uint32_t fps_num = 0;
  std::uint32_t fps_den = 0;
  // The frames the map was made for, which the decode must hand on.
  quen::FrameSelection selection;
};

void print_encode_example(std::string_view input_path, std::string_view output_path,
                          const VideoFormat& video);

}  // namespace mapgen
