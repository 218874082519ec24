#pragma once
// The ROI map file that SvtAv1EncApp reads with --roi-map-file.
//
// No header; one line per frame pair: the pair number, then one space and
// the QP offset of every SVT block in raster order, then a line feed.

#include "qp_segments.hpp"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace quen::roimap {

struct RoiMapOptions {
  // Replaces the offset of every block when present (a diagnostic map).
  std::optional<std::int32_t> uniform_offset;
  // Negates every offset written, the uniform one included.
  bool invert_sign = false;
  // The context put around a failure to create the file.
  std::string_view create_context = "create output";
  // false: a symbolic link at the path is refused rather than followed, for a
  // file made in a directory that other users may write to.
  bool follow_symlinks = true;
  // A file that must never be overwritten, such as the input video: a path
  // that names it is refused as a failure to create.
  std::optional<std::filesystem::path> keep_intact;
};

// Creates (or truncates) the file and writes every line, each piece by its
// own write, so a failed write leaves exactly the pieces before it. Returns
// the number of blocks per bucket (all zero with a uniform offset). A failure
// to create comes back under `create_context`; a failed write comes back as
// the system's error itself.
std::vector<std::uint64_t> write_roi_map(const std::filesystem::path& path, std::span<const float> svt_values,
                                         std::uint32_t pairs, std::uint32_t svt_per_frame,
                                         const QpSegments& segments, const RoiMapOptions& options);

}  // namespace quen::roimap
