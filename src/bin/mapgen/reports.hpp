#pragma once
// mapgen's console reports around the analysis and the map file.

#include "roimap/qp_segments.hpp"
#include "roimap/svt_aggregation.hpp"

#include <cstdint>
#include <span>
#include <string_view>

namespace mapgen {

struct Cli;

void print_banner(const Cli& cli, std::string_view output_path);
void print_pass1(std::uint32_t decoded_frames, const quen::roimap::FramePairs& counts, std::uint16_t blocks_w,
                 std::uint16_t blocks_h);
void print_svt_grid(const quen::roimap::SvtGrid& grid);
void print_distribution(std::span<const std::uint64_t> bucket_counts,
                        const quen::roimap::QpSegments& segments);
void print_done(std::uint64_t bytes, std::uint32_t lines);

}  // namespace mapgen
