#pragma once
// Step [3/3]: ffmpeg copies the AV1 stream and the input's first audio
// stream into the output file; then the closing size report.

#include <filesystem>
#include <string>
#include <vector>

namespace encpipe {

struct MuxJob {
  std::string ffmpeg;  // program text, as --ffmpeg gives it
  std::string input;
  std::filesystem::path av1_path;
  std::string output_path;
};

// The mux child's command line: the program and its 12 arguments.
std::vector<std::string> mux_command(const MuxJob& job);

// Runs the mux, prints the "=== Done ===" report; throws on failure.
void run_mux(const MuxJob& job);

}  // namespace encpipe
