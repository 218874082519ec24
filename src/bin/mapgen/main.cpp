// mapgen: writes the SVT-AV1 ROI map of a video from its QuenMAP analysis.

#include "common/ffmpeg_path.hpp"
#include "common/file_size.hpp"
#include "common/input_stem.hpp"
#include "common/program_main.hpp"
#include "diagnostic_override.hpp"
#include "encode_example.hpp"
#include "mapgen_cli.hpp"
#include "quenmap/decode_pass.hpp"
#include "quenmap/ffmpeg_error.hpp"
#include "reports.hpp"
#include "roimap/qp_segments.hpp"
#include "roimap/roi_map_writer.hpp"
#include "roimap/svt_aggregation.hpp"

#include <fmt/format.h>

namespace mapgen {
namespace {

namespace roimap = quen::roimap;

std::string output_path_of(const Cli& cli) {
  return cli.output.value_or(fmt::format("{}_roi.txt", quen::input_stem(cli.input, "roi")));
}

void run(const Cli& cli) {
  const std::string output_path = output_path_of(cli);
  print_banner(cli, output_path);

  quenmap::init_ffmpeg();
  const auto pass = quenmap::pass1_decode(cli.input);
  const auto& encoder = *pass.encoder;
  const auto& video = pass.video;

  const auto counts =
      roimap::frame_pairs(encoder.d_history(), encoder.blocks_w(), encoder.blocks_h(), pass.decoded_frames);
  print_pass1(pass.decoded_frames, counts, encoder.blocks_w(), encoder.blocks_h());
  const auto grid = roimap::SvtGrid::for_frame(video.width, video.height);
  print_svt_grid(grid);

  const auto svt_values = roimap::aggregate_svt_blocks(
      encoder.d_history(), counts.per_frame, counts.pairs, encoder.blocks_w(), encoder.blocks_h(), grid,
      roimap::agg_method_from_text(cli.agg, roimap::AggMethod::max));
  const roimap::QpSegments segments(cli.segments, cli.qp_range, svt_values,
                                    roimap::OffsetSign::low_values_positive);
  print_quantization(segments);

  const roimap::RoiMapOptions options{
      .uniform_offset = resolve_uniform_offset(cli.diagnostic, cli.diag_value),
      .invert_sign = cli.invert_sign,
      .keep_intact = quen::ffmpeg_local_file(cli.input),
  };
  if (cli.invert_sign) print_sign_inversion_notice();
  const auto bucket_counts =
      roimap::write_roi_map(output_path, svt_values, counts.pairs, grid.svt_per_frame, segments, options);
  print_distribution(bucket_counts, segments);

  print_done(quen::file_size_or_zero(output_path), counts.pairs);
  if (cli.show_cmd) {
    print_encode_example(
        cli.input, output_path,
        {video.width, video.height, video.fps_num, video.fps_den, quenmap::frame_selection(video)});
  }
}

}  // namespace
}  // namespace mapgen

int main(int argc, char** argv) {
  return quen::program_main(argc, argv, mapgen::parse_cli, mapgen::run);
}
