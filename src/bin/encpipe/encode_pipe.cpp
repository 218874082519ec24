#include "encode_pipe.hpp"

#include "common/console.hpp"
#include "common/error.hpp"
#include "ivf_stream.hpp"
#include "process.hpp"
#include "size_report.hpp"
#include "stop_signals.hpp"

#include <fmt/format.h>

#include <optional>

namespace encpipe {
namespace {

// ffmpeg reads its standard input for interactive keys: ours belongs to
// whoever started encpipe (the rest of a batch loop's list, a terminal), and
// a "q" in it would end the decode early and quietly.
Child start_decoder(const EncodeJob& job) {
  return quen::with_context("spawn ffmpeg", [&] {
    return spawn(decode_command(job),
                 {.in = Stdio::null_device(), .out = Stdio::pipe(), .err = Stdio::null_device()});
  });
}

// The encoder gets a copy of the pipe's read end as its standard input.
Child start_encoder(const EncodeJob& job, const quen::Fd& video) {
  return spawn(encode_command(job), {.in = Stdio::descriptor(video.get())});
}

// The decoder's wait status; a failed wait leaves nothing to judge.
std::optional<int> wait_for_decoder(Child& decoder) {
  try {
    return decoder.wait();
  } catch (const std::system_error&) {
    return std::nullopt;
  }
}

// SvtAv1EncApp takes the frame size from the Y4M header, whatever -w and -h
// say, and writes it into the IVF header; it encodes an odd side one pixel
// short. Frames of any other size than the analysed ones (another ffmpeg
// release's cropping, a wrapper given as --ffmpeg) would put every offset
// of the map on the wrong block.
bool encodes_side(std::uint32_t encoded, std::uint32_t analysed) {
  return encoded == analysed || (analysed % 2 == 1 && encoded == analysed - 1);
}

void refuse_other_frame_size(const IvfStream& stream, const EncodeJob& job) {
  if (encodes_side(stream.width, job.width) && encodes_side(stream.height, job.height)) return;
  throw quen::Error(
      fmt::format("SvtAv1EncApp encoded frames of {}x{}, but the ROI map was made for frames of {}x{}",
                  stream.width, stream.height, job.width, job.height));
}

// SvtAv1EncApp writes one frame record per frame. Another count than the
// analysed one means that ffmpeg repeated or dropped frames to keep a
// constant rate (a variable-frame-rate input), from where on line n of the
// map steers another frame than frame n. The encode itself is sound.
void warn_if_other_frame_count(const IvfStream& stream, const EncodeJob& job) {
  if (stream.frames == job.frames) return;
  quen::eprint(
      "      Warning: SvtAv1EncApp encoded {} frames where the analysis decoded {}; "
      "the ROI map fits only up to the first frame that ffmpeg repeated or dropped\n",
      stream.frames, job.frames);
}

}  // namespace

std::vector<std::string> decode_command(const EncodeJob& job) {
  std::vector<std::string> command{job.ffmpeg, "-y", "-i", job.input};
  const auto selection = quen::ffmpeg_selection_options(job.selection);
  command.insert(command.end(), selection.begin(), selection.end());
  command.insert(command.end(), {"-pix_fmt", "yuv420p", "-f", "yuv4mpegpipe", "pipe:1"});
  return command;
}

// In pairs of option and value, as the encoder reads them.
std::vector<std::string> encode_command(const EncodeJob& job) {
  // clang-format off
  return {job.svt,
          "-i", "stdin",
          "-b", job.av1_path.string(),
          "--roi-map-file", job.roi_path.string(),
          "--crf", std::to_string(job.crf),
          "--preset", std::to_string(job.preset),
          "-w", std::to_string(job.width),
          "-h", std::to_string(job.height),
          "--fps-num", std::to_string(job.fps_num),
          "--fps-denom", std::to_string(job.fps_den)};
  // clang-format on
}

// On any failure the decoder is stopped and reaped on the way out, after our
// end of its pipe has been closed: it may still be opening a slow input and
// would not notice the pipe for a long time.
void run_encode_pipe(const EncodeJob& job) {
  quen::eprint("\n[2/3] Pipe ffmpeg → SvtAv1EncApp\n");
  Child decoder = start_decoder(job);
  quen::Fd video = decoder.take_stdout();
  if (!video) throw quen::Error("no ffmpeg stdout");

  Child encoder = quen::with_context("spawn SvtAv1EncApp", [&] { return start_encoder(job, video); });
  // From here on only the children hold the pipe's ends: a decoder whose
  // reader has ended, by a stop signal too, meets a pipe without readers
  // instead of blocking on a full one for ever.
  video.close();
  const int encoder_status = quen::with_context("wait for SvtAv1EncApp", [&] { return encoder.wait(); });
  stop_signals::throw_if_stopped();
  const std::optional<int> decoder_status = wait_for_decoder(decoder);
  stop_signals::throw_if_stopped();

  if (encoder_status != 0) {
    throw quen::Error(fmt::format("SvtAv1EncApp failed: ExitStatus(unix_wait_status({}))", encoder_status));
  }
  // An encoder that ends cleanly on a stream cut short by a failed decoder
  // has encoded only part of the video: that is no success either.
  if (decoder_status && *decoder_status != 0) {
    throw quen::Error(fmt::format("ffmpeg failed: ExitStatus(unix_wait_status({}))", *decoder_status));
  }
  // The size line is the step's result: it stands only for a stream fit to
  // mux, and a cut one is reported by the error alone, with the byte where
  // it breaks off.
  const IvfStream stream = check_ivf_stream(job.av1_path);
  refuse_other_frame_size(stream, job);
  quen::eprint("{}", av1_size_line(job.av1_path.string(), stream.size));
  warn_if_other_frame_count(stream, job);
}

}  // namespace encpipe
