#include "roi_map_step.hpp"

#include "quenmap/decode_pass.hpp"
#include "roimap/qp_segments.hpp"
#include "roimap/roi_map_writer.hpp"
#include "roimap/svt_aggregation.hpp"

namespace encpipe {
namespace {

namespace roimap = quen::roimap;

void write_map(const Cli& cli, const quenmap::QuenMapEncoder& encoder, std::uint32_t decoded_frames,
               const VideoGeometry& video, const std::filesystem::path& roi_path) {
  const auto& d_history = encoder.d_history();
  const auto counts = roimap::frame_pairs(d_history, encoder.blocks_w(), encoder.blocks_h(), decoded_frames);
  const auto grid = roimap::SvtGrid::for_frame(video.width, video.height);
  const auto svt_values = roimap::aggregate_svt_blocks(
      d_history, counts.per_frame, counts.pairs, encoder.blocks_w(), encoder.blocks_h(), grid,
      roimap::agg_method_from_text(cli.agg, roimap::AggMethod::p75));
  const roimap::QpSegments segments(cli.segments, cli.qp_range, svt_values,
                                    roimap::OffsetSign::low_values_negative);
  // The work directory may lie in a world-writable place: a link planted at
  // roi_path is refused, never followed.
  roimap::write_roi_map(roi_path, svt_values, counts.pairs, grid.svt_per_frame, segments,
                        {.create_context = "create ROI map", .follow_symlinks = false});
}

}  // namespace

VideoGeometry analyse_into_roi_map(const Cli& cli, const std::filesystem::path& roi_path) {
  auto pass = quenmap::pass1_decode(cli.input);
  const quenmap::VideoInput& input = pass.video;
  const VideoGeometry video{
      input.width,         input.height,           input.fps_num,           input.fps_den,
      pass.decoded_frames, frame_selection(input), input.sample_aspect.num, input.sample_aspect.den};
  write_map(cli, *pass.encoder, pass.decoded_frames, video, roi_path);
  // The analysis state is freed before the encode starts, the encoder before
  // the video it was fed from; `pass` takes the video with it on return.
  pass.encoder.reset();
  return video;
}

}  // namespace encpipe
