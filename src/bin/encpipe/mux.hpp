#pragma once
// Step [3/3]: ffmpeg copies the AV1 stream and the input's first audio
// stream into the output file; then the closing size report.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace encpipe {

struct MuxJob {
  std::string ffmpeg;  // program text, as --ffmpeg gives it
  std::string input;
  std::filesystem::path av1_path;
  std::string output_path;
  // How long after the start of the input its video starts; the AV1 stream
  // starts at 0 and is put back there.
  std::int64_t video_delay_us = 0;
  // The video's size and sample aspect ratio as displayed (0/1: unknown):
  // the AV1 stream carries none.
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::uint32_t sar_num = 0;
  std::uint32_t sar_den = 1;
};

// The mux child's command line: the program and its 12 arguments, with the
// video's start and sample aspect ratio where the input needs them. The last
// argument is `written_path`, the file the mux writes (output_file.hpp).
std::vector<std::string> mux_command(const MuxJob& job, const std::string& written_path);

// Runs the mux, puts its result in place at the output path and prints the
// "=== Done ===" report; throws on failure, leaving the output as it was.
void run_mux(const MuxJob& job);

}  // namespace encpipe
