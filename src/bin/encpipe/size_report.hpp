#pragma once
// The size figures of an encpipe run: the AV1 stream's size line and the
// closing report of the input and output sizes.

#include <cstdint>
#include <string>
#include <string_view>

namespace encpipe {

// Bytes in MB of 1,048,576 bytes.
double megabytes(std::uint64_t bytes);

// How much larger (positive) or smaller (negative) the output is than the
// input, in percent; 0.0 for an input of size 0.
double size_change_percent(std::uint64_t input_size, std::uint64_t output_size);

// "      AV1: <path> (<n> bytes / <MB> MB)" and its line feed.
std::string av1_size_line(std::string_view av1_path, std::uint64_t size);

// The "=== Done ===" block with the input and output lines.
std::string final_report(std::string_view input, std::uint64_t input_size, std::string_view output,
                         std::uint64_t output_size);

}  // namespace encpipe
