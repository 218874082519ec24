#include "mux.hpp"

#include "common/console.hpp"
#include "common/error.hpp"
#include "common/ffmpeg_path.hpp"
#include "common/file_size.hpp"
#include "common/frame_selection.hpp"
#include "output_file.hpp"
#include "process.hpp"
#include "size_report.hpp"
#include "stop_signals.hpp"

#include <fmt/format.h>
#include <sys/stat.h>

#include <cerrno>
#include <numeric>

namespace encpipe {

namespace {

// The display aspect ratio that gives the video its sample aspect ratio back,
// reduced ("16:9" for 720x576 at 64:45); empty for square or unknown pixels.
std::string display_aspect(const MuxJob& job) {
  if (job.sar_num == 0 || job.sar_den == 0 || job.sar_num == job.sar_den) return {};
  const std::uint64_t across = std::uint64_t{job.width} * job.sar_num;
  const std::uint64_t down = std::uint64_t{job.height} * job.sar_den;
  const std::uint64_t common = std::gcd(across, down);
  if (common == 0) return {};
  return fmt::format("{}:{}", across / common, down / common);
}

// The size of the file the mux wrote for `output_path`. ffmpeg exits 0
// although it wrote nothing when it was told to quit early, so a missing or
// empty file is a failure; a device or a pipe named as the output has no
// size to judge by and counts as 0.
std::uint64_t output_size(const std::string& written_path, const std::string& output_path) {
  struct stat st {};
  if (stat(written_path.c_str(), &st) != 0) {
    if (errno == ENOENT) throw quen::Error(fmt::format("mux failed: the output {} is missing", output_path));
    return 0;
  }
  if (!S_ISREG(st.st_mode)) return 0;
  if (st.st_size == 0) throw quen::Error(fmt::format("mux failed: the output {} is empty", output_path));
  return static_cast<std::uint64_t>(st.st_size);
}

// The size of the file FFmpeg read for `input`; 0 for an input that is no
// local file, such as a network address.
std::uint64_t input_size(const std::string& input) {
  const auto file = quen::ffmpeg_local_file(input);
  return file ? quen::file_size_or_zero(*file) : 0;
}

}  // namespace

// "1:a:0?" makes the audio optional: an input without audio still muxes.
// The files of our own making are named so that ffmpeg cannot take them for
// an option or a protocol; the input goes as given, the meaning the analysis
// opened it with.
std::vector<std::string> mux_command(const MuxJob& job, const std::string& written_path) {
  std::vector<std::string> command{job.ffmpeg, "-y"};
  if (job.video_delay_us > 0) {
    command.insert(command.end(),
                   {"-itsoffset", quen::ffmpeg_seconds(static_cast<std::uint64_t>(job.video_delay_us))});
  }
  // clang-format off
  command.insert(command.end(), {
      "-i", quen::ffmpeg_file_argument(job.av1_path.string()),
      "-i", job.input,
      "-map", "0:v:0",
      "-map", "1:a:0?",
      "-c", "copy"});
  // clang-format on
  // Stream copy takes a display aspect ratio and stores the sample aspect
  // ratio it implies at the stream's size.
  if (const auto aspect = display_aspect(job); !aspect.empty()) {
    command.insert(command.end(), {"-aspect", aspect});
  }
  command.push_back(quen::ffmpeg_file_argument(written_path));
  return command;
}

void run_mux(const MuxJob& job) {
  quen::eprint("\n[3/3] Mux to MP4 with audio passthrough\n");
  // Declared before the child, so that the child is reaped before the file
  // it was writing goes.
  OutputFile output = OutputFile::create(job.output_path);
  // The null device as standard input, as for the decoder: ffmpeg would
  // read our caller's keys.
  Child mux = quen::with_context("spawn ffmpeg mux", [&] {
    return spawn(mux_command(job, output.written_path()),
                 {.in = Stdio::null_device(), .err = Stdio::null_device()});
  });
  const int status = quen::with_context("wait for ffmpeg mux", [&] { return mux.wait(); });
  stop_signals::throw_if_stopped();
  if (status != 0) throw quen::Error("mux failed");
  const auto output_bytes = output_size(output.written_path(), job.output_path);
  output.put_in_place();
  quen::eprint("{}", final_report(job.input, input_size(job.input), job.output_path, output_bytes));
}

}  // namespace encpipe
