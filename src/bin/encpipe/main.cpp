// encpipe: encodes a video with SvtAv1EncApp under its QuenMAP ROI map and
// muxes the result with the input's audio into an MP4 file.

#include "common/console.hpp"
#include "common/error.hpp"
#include "common/file_size.hpp"
#include "common/program_main.hpp"
#include "encode_pipe.hpp"
#include "encpipe_cli.hpp"
#include "input_check.hpp"
#include "mux.hpp"
#include "output_check.hpp"
#include "output_file.hpp"
#include "quenmap/ffmpeg_error.hpp"
#include "roi_map_step.hpp"
#include "run_paths.hpp"
#include "stop_signals.hpp"
#include "work_dir.hpp"

#include <cstdlib>

namespace encpipe {
namespace {

void print_banner(const Cli& cli, const RunPaths& paths) {
  quen::eprint("=== zantolo-svtav1-quen (QuenAV1 end-to-end) ===\n");
  quen::eprint("input:    {}\n", cli.input);
  quen::eprint("output:   {}\n", paths.output_path);
  quen::eprint("qp_range: {}\n", cli.qp_range);
  quen::eprint("settings: agg={} segments={} crf={} preset={}\n", cli.agg, cli.segments, cli.crf, cli.preset);
}

EncodeJob encode_job(const Cli& cli, const VideoGeometry& video, const RunPaths& paths) {
  return {.ffmpeg = cli.ffmpeg,
          .svt = cli.svt,
          .input = cli.input,
          .crf = cli.crf,
          .preset = cli.preset,
          .width = video.width,
          .height = video.height,
          .fps_num = video.fps_num,
          .fps_den = video.fps_den,
          .frames = video.frames,
          .selection = video.selection,
          .roi_path = paths.roi_path,
          .av1_path = paths.av1_path};
}

MuxJob mux_job(const Cli& cli, const VideoGeometry& video, const RunPaths& paths) {
  return {.ffmpeg = cli.ffmpeg,
          .input = cli.input,
          .av1_path = paths.av1_path,
          .output_path = paths.output_path,
          .video_delay_us = video.selection.start_delay_us,
          .width = video.width,
          .height = video.height,
          .sar_num = video.sar_num,
          .sar_den = video.sar_den};
}

void run(const Cli& cli) {
  const RunPaths paths = run_paths(cli.input, cli.output, std::getenv("TMPDIR"));
  refuse_destructive_paths(cli.input, paths);
  refuse_input_read_only_once(cli.input);
  check_output_place(paths.output_path);
  WorkDir work_dir = quen::with_context("create work dir", [&] { return WorkDir::acquire(paths.work_dir); });
  refuse_output_in_work_dir(paths, work_dir.identity());
  print_banner(cli, paths);

  quenmap::init_ffmpeg();
  quen::eprint("\n[1/3] QuenMAP analysis + ROI map generation\n");
  const VideoGeometry video = analyse_into_roi_map(cli, paths.roi_path);
  quen::eprint("      ROI map: {} ({} bytes)\n", paths.roi_path.string(),
               quen::file_size_or_zero(paths.roi_path));

  run_encode_pipe(encode_job(cli, video, paths));
  run_mux(mux_job(cli, video, paths));
  // Only a complete run removes its work: after a failure the map and the
  // AV1 stream stay for a look.
  work_dir.remove();
}

// A run told to stop unwinds like a failure, which reaps its children and
// releases the work directory's lock, and then ends by the signal it got.
void run_unless_stopped(const Cli& cli) {
  try {
    run(cli);
  } catch (const stop_signals::Stopped& stop) {
    stop_signals::end_by(stop.signal());
  }
}

}  // namespace
}  // namespace encpipe

int main(int argc, char** argv) {
  encpipe::stop_signals::install();
  return quen::program_main(argc, argv, encpipe::parse_cli, encpipe::run_unless_stopped);
}
