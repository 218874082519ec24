#include "encpipe_harness.hpp"

#include "clips.hpp"
#include "temp_dir.hpp"

#include <fmt/format.h>

#include <sstream>

namespace encpipe_test {

namespace fs = std::filesystem;

std::string tool(std::string_view name) {
  return fmt::format("{}/{}", QUEN_TOOLS_DIR, name);
}

const fs::path& av_clip() {
  // Noise that changes every frame leaves no block of the right half still.
  static const fs::path clip = quen::testing::make_clip(
      "encpipe_still_and_noise_128x64_20.mp4", {"-f",
                                                "lavfi",
                                                "-i",
                                                "color=c=gray:size=64x64:rate=25",
                                                "-f",
                                                "lavfi",
                                                "-i",
                                                "color=c=gray:size=64x64:rate=25",
                                                "-f",
                                                "lavfi",
                                                "-i",
                                                "sine=frequency=440:sample_rate=48000:duration=0.8",
                                                "-filter_complex",
                                                "[1:v]noise=alls=80:allf=t+u[n];[0:v][n]hstack=inputs=2[v]",
                                                "-map",
                                                "[v]",
                                                "-map",
                                                "2:a",
                                                "-frames:v",
                                                "20",
                                                "-c:v",
                                                "libx264",
                                                "-bf",
                                                "0",
                                                "-pix_fmt",
                                                "yuv420p",
                                                "-c:a",
                                                "aac"});
  return clip;
}

quen::testing::ProgramResult run_encpipe(const std::vector<std::string>& args,
                                         const quen::testing::RunOptions& options) {
  std::vector<std::string> argv{ENCPIPE_PATH};
  argv.insert(argv.end(), args.begin(), args.end());
  return quen::testing::run_program(argv, options);
}

std::optional<Record> read_record(const fs::path& dir, std::string_view name, int n) {
  const auto path = dir / fmt::format("{}.{}", name, n);
  if (!fs::exists(path)) return std::nullopt;
  std::istringstream lines(quen::testing::slurp(path));
  Record record;
  for (std::string line; std::getline(lines, line);) {
    const auto eq = line.find('=');
    const auto key = line.substr(0, eq);
    const auto value = line.substr(eq + 1);
    if (key == "argv0") record.argv0 = value;
    if (key == "arg") record.args.push_back(value);
    if (key == "stdin") record.stdin_kind = value;
    if (key == "stdout") record.stdout_kind = value;
    if (key == "stderr") record.stderr_kind = value;
    if (key == "sigpipe") record.sigpipe = value;
    if (key == "pid") record.pid = std::stoi(value);
  }
  return record;
}

std::string expected_start(std::string_view input, std::string_view output) {
  return fmt::format(
      "=== zantolo-svtav1-quen (QuenAV1 end-to-end) ===\n"
      "input:    {}\n"
      "output:   {}\n"
      "qp_range: 30\n"
      "settings: agg=p75 segments=5 crf=32 preset=8\n"
      "\n[1/3] QuenMAP analysis + ROI map generation\n"
      "Video: 128x64, 25/1 fps, ~20 frames, codec: Some(\"h264\")\n"
      "QuenMapEncoder: 128x64 -> 16x8 blocks (8x8), 25/1fps\n",
      input, output);
}

std::string error_with_cause(std::string_view message, std::string_view cause) {
  return fmt::format("Error: {}\n\nCaused by:\n    {}\n", message, cause);
}

}  // namespace encpipe_test
