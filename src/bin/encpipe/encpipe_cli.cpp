#include "encpipe_cli.hpp"

#include "common/cli.hpp"

namespace encpipe {
namespace {

const quen::CommandSpec<Cli> command_spec{
    .name = "zantolo-svtav1-quen",
    .version = "0.3.2",
    .about = "QuenMAP-driven SVT-AV1 encoder (end-to-end pipeline)",
    .input = quen::positional(&Cli::input, "INPUT", "Input video file"),
    .options = {
        quen::option(&Cli::output, 'o', "output", "OUTPUT", "Output AV1 in MP4 container"),
        quen::option(&Cli::qp_range, "qp-range", "QP_RANGE",
                     "QP range, user-facing dial: 20 (mild, ~-12%) / 30 (default, ~-20%) / 40 (~-27%) / 60 "
                     "(~-38%)",
                     "30"),
        quen::option(&Cli::crf, "crf", "CRF",
                     "SVT-AV1 CRF (quality target). Lower = better quality, higher = smaller file", "32"),
        quen::option(&Cli::preset, "preset", "PRESET",
                     "SVT-AV1 preset (0=slowest/best, 13=fastest). 8 ≈ x264 medium", "8"),
        quen::option(&Cli::svt, "svt", "SVT", "Path to SvtAv1EncApp binary", "SvtAv1EncApp"),
        quen::option(&Cli::ffmpeg, "ffmpeg", "FFMPEG", "Path to ffmpeg binary", "ffmpeg"),
        quen::option(&Cli::agg, "agg", "AGG",
                     "Aggregation: min (savings-leaning) / max / median / p75 (quality-leaning, default)",
                     "p75"),
        quen::option(&Cli::segments, "segments", "SEGMENTS", "Number of QP segments (max 8 per AV1 spec)",
                     "5"),
    }};

}  // namespace

Cli parse_cli(int argc, char** argv) {
  return quen::parse_command_line(command_spec, argc, argv);
}

}  // namespace encpipe
