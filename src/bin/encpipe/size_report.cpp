#include "size_report.hpp"

#include <fmt/format.h>

namespace encpipe {

double megabytes(std::uint64_t bytes) {
  return static_cast<double>(bytes) / 1024.0 / 1024.0;
}

// The difference is taken in floating point, so a smaller output gives a
// negative figure rather than a wrapped unsigned one.
double size_change_percent(std::uint64_t input_size, std::uint64_t output_size) {
  if (input_size == 0) return 0.0;
  const double input = static_cast<double>(input_size);
  const double output = static_cast<double>(output_size);
  return (output - input) * 100.0 / input;
}

std::string av1_size_line(std::string_view av1_path, std::uint64_t size) {
  return fmt::format("      AV1: {} ({} bytes / {:.1f} MB)\n", av1_path, size, megabytes(size));
}

// "{:+.1f}" keeps the sign of a small negative figure that rounds to zero
// (-0.0), so a slightly smaller output never reads as a gain.
std::string final_report(std::string_view input, std::uint64_t input_size, std::string_view output,
                         std::uint64_t output_size) {
  return fmt::format(
      "\n=== Done ===\n"
      "input:  {} ({:.1f} MB)\n"
      "output: {} ({:.1f} MB, {:+.1f}% vs input)\n",
      input, megabytes(input_size), output, megabytes(output_size),
      size_change_percent(input_size, output_size));
}

}  // namespace encpipe
