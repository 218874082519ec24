#pragma once
// encpipe's command line.

#include <cstdint>
#include <optional>
#include <string>

namespace encpipe {

struct Cli {
  std::string input;
  std::optional<std::string> output;
  std::int32_t qp_range = 0;
  std::uint32_t crf = 0;
  std::uint32_t preset = 0;
  std::string svt;
  std::string ffmpeg;
  std::string agg;
  std::uint8_t segments = 0;
};

// Prints help, version or a command-line error and ends the process itself
// (status 0, 0 and 2); returns only a complete Cli.
Cli parse_cli(int argc, char** argv);

}  // namespace encpipe
