#pragma once
// Step [2/3]: ffmpeg decodes the input to Y4M on a pipe that SvtAv1EncApp
// reads, encoding under the ROI map into the AV1 file.

#include "common/frame_selection.hpp"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace encpipe {

struct EncodeJob {
  std::string ffmpeg;  // program text, as --ffmpeg gives it
  std::string svt;     // program text, as --svt gives it
  std::string input;
  std::uint32_t crf;
  std::uint32_t preset;
  std::uint32_t width;
  std::uint32_t height;
  std::uint32_t fps_num;
  std::uint32_t fps_den;
  std::uint32_t frames;            // how many frames the analysis decoded
  quen::FrameSelection selection;  // which frames of the input were analysed
  std::filesystem::path roi_path;
  std::filesystem::path av1_path;
};

// The decode child's command line: the program and its 8 arguments, with the
// options that select the analysed frames after the input where the file
// needs them.
std::vector<std::string> decode_command(const EncodeJob& job);

// The encode child's command line: the program and its 18 arguments.
std::vector<std::string> encode_command(const EncodeJob& job);

// Runs the step and prints its lines; throws on failure, which includes an
// AV1 stream that is not whole although both children exited 0, and one of
// frames of another size than the map's. A stream of another number of
// frames is only warned about.
void run_encode_pipe(const EncodeJob& job);

}  // namespace encpipe
