#pragma once
// mapgen's command line.

#include <cstdint>
#include <optional>
#include <string>

namespace mapgen {

struct Cli {
  std::string input;
  std::optional<std::string> output;
  std::string agg;
  std::uint8_t segments = 0;
  std::int32_t qp_range = 0;
  bool show_cmd = false;
  bool invert_sign = false;
  std::string diagnostic;
  std::int32_t diag_value = 0;
};

// Prints help, version or a command-line error and ends the process itself
// (status 0, 0 and 2); returns only a complete Cli.
Cli parse_cli(int argc, char** argv);

}  // namespace mapgen
