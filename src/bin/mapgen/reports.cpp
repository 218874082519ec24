#include "reports.hpp"

#include "common/console.hpp"
#include "mapgen_cli.hpp"

#include <algorithm>
#include <numeric>

namespace mapgen {

using quen::eprint;

void print_banner(const Cli& cli, std::string_view output_path) {
  eprint("=== zantolo-svtav1-roi (Phase 0 PoC) ===\n");
  eprint("input:    {}\n", cli.input);
  eprint("output:   {}  (SVT-AV1 --roi-map-file format)\n", output_path);
  eprint("agg:      {}\n", cli.agg);
  // Above 8 shows the 8 in use; 0 and 1 show as given (the quantization
  // report then names the 2 segments used).
  eprint("segments: {}\n", std::min<unsigned>(cli.segments, 8));
  eprint("qp_range: ±{}\n", cli.qp_range);
}

void print_pass1(std::uint32_t decoded_frames, const quen::roimap::FramePairs& counts, std::uint16_t blocks_w,
                 std::uint16_t blocks_h) {
  eprint("\n[Pass 1] {} decoded frames, {} d-value frame-pairs, {}x{} QuenMAP 8x8 blocks ({} per frame)\n",
         decoded_frames, counts.pairs, blocks_w, blocks_h, counts.per_frame);
}

void print_svt_grid(const quen::roimap::SvtGrid& grid) {
  eprint("[SVT]    {}x{} 64x64 blocks ({} per frame)\n", grid.cols, grid.rows, grid.svt_per_frame);
}

void print_distribution(std::span<const std::uint64_t> bucket_counts,
                        const quen::roimap::QpSegments& segments) {
  eprint("\n[Distribution] block counts per bucket:\n");
  const std::uint64_t total = std::accumulate(bucket_counts.begin(), bucket_counts.end(), std::uint64_t{0});
  for (std::uint32_t i = 0; i < segments.count(); ++i) {
    const std::uint64_t count = bucket_counts[i];
    const double percent = total == 0 ? 0.0 : static_cast<double>(count) * 100.0 / static_cast<double>(total);
    eprint("  bucket {} (offset {:+}): {} blocks ({:.1f}%)\n", i, segments.qp_offset(i), count, percent);
  }
}

void print_done(std::uint64_t bytes, std::uint32_t lines) {
  eprint("\n[Done] Wrote {} bytes ({:.1f} KB), {} lines\n", bytes, static_cast<double>(bytes) / 1024.0,
         lines);
}

}  // namespace mapgen
