#pragma once
// Step [1/3]: the QuenMAP analysis of the input and encpipe's ROI map.
//
// encpipe's map gives the lowest SVT-block values the most negative offset
// (the opposite sign of mapgen's) and aggregates an unknown --agg as p75.

#include "common/frame_selection.hpp"
#include "encpipe_cli.hpp"

#include <cstdint>
#include <filesystem>

namespace encpipe {

// What the encode and the mux need of the video once the analysis state is
// gone; the size and the sample aspect ratio as displayed.
struct VideoGeometry {
  std::uint32_t width;
  std::uint32_t height;
  std::uint32_t fps_num;
  std::uint32_t fps_den;
  std::uint32_t frames;  // decoded by the analysis
  quen::FrameSelection selection;
  std::uint32_t sar_num;  // 0 when unknown
  std::uint32_t sar_den;
};

// Runs the decode pass over `cli.input` and writes the map to `roi_path`.
// The encoder and then the video input are released as soon as the map
// file is closed. Throws on failure; a video with fewer than two frames or
// without a whole 8x8 block is refused before the map file is created.
VideoGeometry analyse_into_roi_map(const Cli& cli, const std::filesystem::path& roi_path);

}  // namespace encpipe
