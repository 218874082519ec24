#include "mux.hpp"

#include "common/console.hpp"
#include "common/error.hpp"
#include "common/ffmpeg_path.hpp"
#include "common/file_size.hpp"
#include "process.hpp"
#include "size_report.hpp"
#include "stop_signals.hpp"

#include <fmt/format.h>
#include <sys/stat.h>

#include <cerrno>

namespace encpipe {

// "1:a:0?" makes the audio optional: an input without audio still muxes.
// The files of our own making are named so that ffmpeg cannot take them for
// an option or a protocol; the input goes as given, the meaning the analysis
// opened it with.
std::vector<std::string> mux_command(const MuxJob& job) {
  // clang-format off
  return {job.ffmpeg,
          "-y",
          "-i", quen::ffmpeg_file_argument(job.av1_path.string()),
          "-i", job.input,
          "-map", "0:v:0",
          "-map", "1:a:0?",
          "-c", "copy",
          quen::ffmpeg_file_argument(job.output_path)};
  // clang-format on
}

namespace {

// ffmpeg exits 0 although it wrote nothing when it was told to quit early.
// A device or a pipe named as the output has no size to judge by.
void check_output(const std::string& output_path) {
  struct stat st {};
  if (stat(output_path.c_str(), &st) != 0) {
    if (errno == ENOENT) throw quen::Error(fmt::format("mux failed: the output {} is missing", output_path));
    return;
  }
  if (S_ISREG(st.st_mode) && st.st_size == 0) {
    throw quen::Error(fmt::format("mux failed: the output {} is empty", output_path));
  }
}

// The size of the file FFmpeg read for `input`; 0 for an input that is no
// local file, such as a network address.
std::uint64_t input_size(const std::string& input) {
  const auto file = quen::ffmpeg_local_file(input);
  return file ? quen::file_size_or_zero(*file) : 0;
}

}  // namespace

void run_mux(const MuxJob& job) {
  quen::eprint("\n[3/3] Mux to MP4 with audio passthrough\n");
  // The null device as standard input, as for the decoder: ffmpeg would
  // read our caller's keys.
  Child mux = quen::with_context("spawn ffmpeg mux", [&] {
    return spawn(mux_command(job), {.in = Stdio::null_device(), .err = Stdio::null_device()});
  });
  const int status = quen::with_context("spawn ffmpeg mux", [&] { return mux.wait(); });
  stop_signals::throw_if_stopped();
  if (status != 0) throw quen::Error("mux failed");
  check_output(job.output_path);
  const auto output_size = quen::file_size_or_zero(job.output_path);
  quen::eprint("{}", final_report(job.input, input_size(job.input), job.output_path, output_size));
}

}  // namespace encpipe
