#pragma once
// Reduction of the d-values of every frame pair onto SVT-AV1's 64x64 blocks.
//
// The ROI map gives one QP offset per 64x64 SVT block, while the analysis
// gives one d-value per whole 8x8 QuenMAP block. The members of an SVT block
// are the QuenMAP blocks under it: up to 8 x 8, fewer (or none) in the last
// column and row when the frame size is not a multiple of 64.

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace quen::roimap {

// The SVT blocks of one frame, over the video's full size, in raster order.
struct SvtGrid {
  std::uint32_t cols = 0;
  std::uint32_t rows = 0;
  std::uint32_t svt_per_frame = 0;

  static SvtGrid for_frame(std::uint32_t width, std::uint32_t height);
};

enum class AggMethod { min, median, p75, max };

// The method named exactly (case-sensitive, whole text) by `text`; any other
// text selects `fallback` without a message (max in mapgen, p75 in encpipe).
AggMethod agg_method_from_text(std::string_view text, AggMethod fallback);

// QuenMAP blocks per frame pair, and frame pairs in the run.
struct FramePairs {
  std::uint32_t per_frame = 0;
  std::uint32_t pairs = 0;
};

// Derives the counts from the analysis; throws quen::Error when the video gave
// no frame pair (fewer than two decoded frames), since nothing can be mapped.
FramePairs frame_pairs(std::span<const float> d_history, std::uint16_t blocks_w, std::uint16_t blocks_h,
                       std::uint32_t decoded_frames);

// One value per SVT block per frame pair, pair-major, raster order within a
// pair. An SVT block without members gets 0.0.
std::vector<float> aggregate_svt_blocks(std::span<const float> d_history, std::uint32_t per_frame,
                                        std::uint32_t pairs, std::uint16_t blocks_w, std::uint16_t blocks_h,
                                        const SvtGrid& grid, AggMethod method);

// The value of one non-empty member set; `members` is reordered.
float aggregate_members(std::span<float> members, AggMethod method);

}  // namespace quen::roimap
