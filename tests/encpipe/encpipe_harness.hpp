#pragma once
// Running the built encpipe as a user would, with the stand-ins of
// tests/tools in place of SvtAv1EncApp (and, to record it, of ffmpeg).

#include "run_program.hpp"

#include <sys/types.h>

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace encpipe_test {

// A stand-in program of tests/tools.
std::string tool(std::string_view name);

// 128x64 at 25 fps, 20 frames of H.264 with an AAC audio stream: the left
// 64 columns a still grey, the right ones noise.
const std::filesystem::path& av_clip();

// Runs encpipe with `args` after the program path.
quen::testing::ProgramResult run_encpipe(const std::vector<std::string>& args,
                                         const quen::testing::RunOptions& options = {});

// How a stand-in was started, as record_lib.sh writes it.
struct Record {
  std::string argv0;
  std::vector<std::string> args;
  std::string stdin_kind;
  std::string stdout_kind;
  std::string stderr_kind;
  std::string sigpipe;
  pid_t pid = -1;
};

// Call `n` (from 0) of the stand-in `name` recorded in `dir`; nothing when
// that call did not happen.
std::optional<Record> read_record(const std::filesystem::path& dir, std::string_view name, int n = 0);

// What encpipe prints up to and including the encoder's line, for av_clip()
// given as `input`, with the default settings.
std::string expected_start(std::string_view input, std::string_view output);

// The report of an error with one cause.
std::string error_with_cause(std::string_view message, std::string_view cause);

}  // namespace encpipe_test
