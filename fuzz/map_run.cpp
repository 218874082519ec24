#include "map_run.hpp"

#include "map_checks.hpp"
#include "mapgen/diagnostic_override.hpp"
#include "mapgen/reports.hpp"
#include "quenmap/decode_pass.hpp"
#include "roimap/qp_segments.hpp"
#include "roimap/roi_map_writer.hpp"
#include "roimap/svt_aggregation.hpp"

namespace quen::fuzz {

void run_map_computation(const std::string& input_path, const MemoryFile& map, const MapChoices& choices) {
  const auto pass = quenmap::pass1_decode(input_path);
  const auto& encoder = *pass.encoder;
  const auto& d_history = encoder.d_history();
  check_d_history(d_history, encoder.blocks_w(), encoder.blocks_h(), pass.decoded_frames);

  const auto counts =
      roimap::frame_pairs(d_history, encoder.blocks_w(), encoder.blocks_h(), pass.decoded_frames);
  mapgen::print_pass1(pass.decoded_frames, counts, encoder.blocks_w(), encoder.blocks_h());
  const auto grid = roimap::SvtGrid::for_frame(pass.video.width, pass.video.height);
  mapgen::print_svt_grid(grid);

  const auto svt_values = roimap::aggregate_svt_blocks(
      d_history, counts.per_frame, counts.pairs, encoder.blocks_w(), encoder.blocks_h(), grid,
      roimap::agg_method_from_text(choices.agg, roimap::AggMethod::max));
  check_svt_values(svt_values, d_history, counts, grid);
  const roimap::QpSegments segments(choices.segments, choices.qp_range, svt_values,
                                    roimap::OffsetSign::low_values_positive);
  check_segments(segments, choices.segments, svt_values);
  roimap::print_quantization(segments);

  const roimap::RoiMapOptions options{
      .uniform_offset = mapgen::resolve_uniform_offset(choices.diagnostic, choices.diag_value),
      .invert_sign = choices.invert_sign,
      .keep_intact = input_path,
  };
  if (choices.invert_sign) mapgen::print_sign_inversion_notice();
  const auto bucket_counts =
      roimap::write_roi_map(map.path(), svt_values, counts.pairs, grid.svt_per_frame, segments, options);
  mapgen::print_distribution(bucket_counts, segments);
  const std::string map_text = map.contents();
  mapgen::print_done(map_text.size(), counts.pairs);

  const MapExpectation expected{counts.pairs, grid.svt_per_frame, options.uniform_offset,
                                options.invert_sign};
  check_bucket_counts(bucket_counts, segments, expected);
  check_map_text(map_text, segments, expected);
}

}  // namespace quen::fuzz
