#include "mapgen_cli.hpp"

#include "common/cli.hpp"

namespace mapgen {
namespace {

const quen::CommandSpec<Cli> command_spec{
    .name = "zantolo-svtav1-roi",
    .version = "0.3.2",
    .about = "Generate SVT-AV1 --roi-map-file from QuenMAP analysis (Phase 0 PoC)",
    .input = quen::positional(&Cli::input, "INPUT", "Input video"),
    .options = {
        quen::option(&Cli::output, 'o', "output", "OUTPUT",
                     "Output ROI map file (text). Default: <input-stem>_roi.txt"),
        quen::option(
            &Cli::agg, "agg", "AGG",
            "8x8 QuenMAP block aggregation method to 64x64 SVT block: min (default, savings-leaning: "
            "any sub-block static → whole 64x64 static), max (conservative quality), median "
            "(balanced), p75",
            "min"),
        quen::option(&Cli::segments, "segments", "SEGMENTS",
                     "Number of QP offset segments (max 8 per AV1 spec). Default 5", "5"),
        quen::option(
            &Cli::qp_range, "qp-range", "QP_RANGE",
            "QP offset range, output offsets in [-range, +range], stepped uniformly across segments. "
            "Larger = stronger ROI effect. Default 20",
            "20"),
        quen::flag(&Cli::show_cmd, "show-cmd",
                   "Print SvtAv1EncApp command-line example after generating the file"),
        quen::flag(
            &Cli::invert_sign, "invert-sign",
            "Invert QP offset sign (sanity check: if QuenMAP intent is mis-mapped to SVT, flipping the sign "
            "should reveal it). Default false"),
        quen::option(
            &Cli::diagnostic, "diagnostic", "DIAGNOSTIC",
            "Diagnostic override: emit a uniform ROI map regardless of QuenMAP signal. \"zero\" = all 0, "
            "\"const-pos N\" = all +N, \"const-neg N\" = all -N. Used to isolate ROI-map-pipeline "
            "overhead from QuenMAP signal effect",
            "off"),
        quen::option(&Cli::diag_value, "diag-value", "DIAG_VALUE",
                     "Constant QP offset value used when --diagnostic is const-pos / const-neg", "2"),
    }};

}  // namespace

Cli parse_cli(int argc, char** argv) {
  return quen::parse_command_line(command_spec, argc, argv);
}

}  // namespace mapgen
