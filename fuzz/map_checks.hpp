#pragma once
// What must hold for any video that the map computation accepts.
//
// A run that breaks one of these ends the process with the broken property
// on the saved standard error, which libFuzzer reports as a crash with the
// input that caused it.

#include "roimap/qp_segments.hpp"
#include "roimap/svt_aggregation.hpp"

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace quen::fuzz {

// Keeps a copy of standard error for the reports of broken properties:
// libFuzzer closes the original (-close_fd_mask=2) to silence the run's
// console lines. Call once, before libFuzzer parses its flags.
void keep_report_stream();

// The d-values: (decoded_frames - 1) x blocks per frame of them, each a
// Frobenius norm no larger than that of two 8x8 products of 8-bit samples.
void check_d_history(std::span<const float> d_history, std::uint16_t blocks_w, std::uint16_t blocks_h,
                     std::uint32_t decoded_frames);

// One value per SVT block per pair, each one of its pair's d-values or the
// 0.0 of a block without members.
void check_svt_values(std::span<const float> svt_values, std::span<const float> d_history,
                      const roimap::FramePairs& counts, const roimap::SvtGrid& grid);

// count - 1 ascending thresholds, each one of the SVT-block values.
void check_segments(const roimap::QpSegments& segments, std::uint8_t asked_segments,
                    std::span<const float> svt_values);

// The shape and the values of the map file and of the bucket counts.
struct MapExpectation {
  std::uint32_t pairs = 0;
  std::uint32_t svt_per_frame = 0;
  std::optional<std::int32_t> uniform_offset;
  bool invert_sign = false;
};

void check_bucket_counts(std::span<const std::uint64_t> bucket_counts, const roimap::QpSegments& segments,
                         const MapExpectation& expected);

// `pairs` lines, line i being i and then one offset of a segment (or the
// uniform one, negated when asked) per SVT block, each after one space.
void check_map_text(std::string_view text, const roimap::QpSegments& segments,
                    const MapExpectation& expected);

}  // namespace quen::fuzz
