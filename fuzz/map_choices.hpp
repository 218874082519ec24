#pragma once
// The mapgen options of one fuzz run, and how many processors its analysis
// may use.
//
// They come from the last bytes of the input, which stays whole as the video
// file: the seed videos need no prefix, and a mutation of a file's tail varies
// the options along with the video. Most tails select mapgen's defaults.

#include <cstdint>
#include <span>
#include <string>

namespace quen::fuzz {

struct MapChoices {
  std::string agg = "min";
  std::uint8_t segments = 5;
  std::int32_t qp_range = 20;
  bool invert_sign = false;
  std::string diagnostic = "off";
  std::int32_t diag_value = 2;
  // Processors for the analysis workers; 0: all that the fuzzer may use.
  std::uint8_t worker_cpus = 0;
};

// Bytes at the end of the input that select the options.
inline constexpr std::size_t choice_tail_size = 11;

// mapgen's defaults unless the input is long enough and the top bit of its
// tail's first byte is set; then the tail gives every option, including agg
// texts outside the four names and the extremes of segments and qp_range.
MapChoices map_choices_from_tail(std::span<const std::uint8_t> data);

}  // namespace quen::fuzz
