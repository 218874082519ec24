#pragma once
// An independent, deliberately plain model of what mapgen must produce for a
// video whose frames are known exactly (lossless grey clips), written from the
// definitions alone: straight loops, full sorts, 64-bit integer arithmetic.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace quen::testing {

struct GreyVideo {
  int width = 0;
  int height = 0;
  int frames = 0;
  std::vector<std::uint8_t> samples;  // frame after frame, row-major
};

// Decodes `clip` to raw 8-bit grey with the ffmpeg program.
GreyVideo read_grey_frames(const std::filesystem::path& clip, int width, int height);

struct ModelOptions {
  std::string agg = "min";
  std::string agg_fallback = "max";
  int segments = 5;
  std::int64_t qp_range = 20;
  bool low_values_positive = true;
};

struct ModelResult {
  int blocks_w = 0, blocks_h = 0, cols = 0, rows = 0, pairs = 0;
  std::vector<float> thresholds;
  std::vector<std::int32_t> bucket_offsets;
  std::vector<std::uint64_t> bucket_counts;
  std::string map;  // the ROI map file's exact bytes
};

ModelResult model_roi_map(const GreyVideo& video, const ModelOptions& options);

// d-values of every block of every frame pair, pair-major.
std::vector<float> model_d_values(const GreyVideo& video);

}  // namespace quen::testing
