#include "svt_aggregation.hpp"

#include "common/error.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <limits>

namespace quen::roimap {

SvtGrid SvtGrid::for_frame(std::uint32_t width, std::uint32_t height) {
  SvtGrid grid;
  grid.cols = static_cast<std::uint32_t>((std::uint64_t{width} + 63) / 64);
  grid.rows = static_cast<std::uint32_t>((std::uint64_t{height} + 63) / 64);
  grid.svt_per_frame = grid.cols * grid.rows;
  return grid;
}

AggMethod agg_method_from_text(std::string_view text, AggMethod fallback) {
  if (text == "min") return AggMethod::min;
  if (text == "median") return AggMethod::median;
  if (text == "p75") return AggMethod::p75;
  if (text == "max") return AggMethod::max;
  return fallback;
}

FramePairs frame_pairs(std::span<const float> d_history, std::uint16_t blocks_w, std::uint16_t blocks_h,
                       std::uint32_t decoded_frames) {
  FramePairs counts;
  counts.per_frame = std::uint32_t{blocks_w} * blocks_h;
  if (counts.per_frame == 0) {
    throw Error(fmt::format("Video has no whole 8x8 block to analyse ({}x{} blocks)", blocks_w, blocks_h));
  }
  counts.pairs = static_cast<std::uint32_t>(d_history.size() / counts.per_frame);
  if (counts.pairs == 0) {
    throw Error(fmt::format("Too few frames: {} decoded frames, at least 2 are needed to form a frame pair",
                            decoded_frames));
  }
  return counts;
}

float aggregate_members(std::span<float> members, AggMethod method) {
  switch (method) {
    case AggMethod::min: {
      // A fold from +infinity; a NaN member never replaces the running value.
      float value = std::numeric_limits<float>::infinity();
      for (const float m : members) value = m < value ? m : value;
      return value;
    }
    case AggMethod::max: {
      float value = -std::numeric_limits<float>::infinity();
      for (const float m : members) value = m > value ? m : value;
      return value;
    }
    case AggMethod::median:
    case AggMethod::p75: {
      // The element at index k of the sorted members. d-values are never NaN,
      // so the k-th order statistic is the same value a full sort puts there.
      const std::size_t len = members.size();
      const std::size_t k = method == AggMethod::median ? len / 2 : 3 * len / 4;
      std::nth_element(members.begin(), members.begin() + static_cast<std::ptrdiff_t>(k), members.end());
      return members[k];
    }
  }
  return 0.0f;
}

std::vector<float> aggregate_svt_blocks(std::span<const float> d_history, std::uint32_t per_frame,
                                        std::uint32_t pairs, std::uint16_t blocks_w, std::uint16_t blocks_h,
                                        const SvtGrid& grid, AggMethod method) {
  std::vector<float> svt_values;
  svt_values.reserve(std::size_t{pairs} * grid.svt_per_frame);
  std::array<float, 64> members{};

  for (std::uint32_t p = 0; p < pairs; ++p) {
    const auto d = d_history.subspan(std::size_t{p} * per_frame, per_frame);
    for (std::uint32_t r = 0; r < grid.rows; ++r) {
      const std::uint32_t by_end = std::min<std::uint32_t>(8 * r + 8, blocks_h);
      for (std::uint32_t c = 0; c < grid.cols; ++c) {
        const std::uint32_t bx_end = std::min<std::uint32_t>(8 * c + 8, blocks_w);
        std::size_t len = 0;
        for (std::uint32_t by = 8 * r; by < by_end; ++by) {
          for (std::uint32_t bx = 8 * c; bx < bx_end; ++bx)
            members[len++] = d[std::size_t{by} * blocks_w + bx];
        }
        svt_values.push_back(len == 0 ? 0.0f : aggregate_members(std::span(members.data(), len), method));
      }
    }
  }
  return svt_values;
}

}  // namespace quen::roimap
