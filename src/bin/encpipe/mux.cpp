#include "mux.hpp"

#include "common/console.hpp"
#include "common/error.hpp"
#include "common/file_size.hpp"
#include "ffmpeg_file_argument.hpp"
#include "process.hpp"
#include "size_report.hpp"

namespace encpipe {

// "1:a:0?" makes the audio optional: an input without audio still muxes.
// The files of our own making are named so that ffmpeg cannot take them for
// an option or a protocol; the input goes as given, the meaning the analysis
// opened it with.
std::vector<std::string> mux_command(const MuxJob& job) {
  // clang-format off
  return {job.ffmpeg,
          "-y",
          "-i", ffmpeg_file_argument(job.av1_path.string()),
          "-i", job.input,
          "-map", "0:v:0",
          "-map", "1:a:0?",
          "-c", "copy",
          ffmpeg_file_argument(job.output_path)};
  // clang-format on
}

void run_mux(const MuxJob& job) {
  quen::eprint("\n[3/3] Mux to MP4 with audio passthrough\n");
  const int status = quen::with_context(
      "spawn ffmpeg mux", [&] { return spawn(mux_command(job), {.err = Stdio::null_device()}).wait(); });
  if (status != 0) throw quen::Error("mux failed");
  const auto input_size = quen::file_size_or_zero(job.input);
  const auto output_size = quen::file_size_or_zero(job.output_path);
  quen::eprint("{}", final_report(job.input, input_size, job.output_path, output_size));
}

}  // namespace encpipe
