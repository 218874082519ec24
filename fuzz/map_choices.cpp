#include "map_choices.hpp"

#include <array>
#include <cstring>
#include <string_view>

namespace quen::fuzz {
namespace {

// "mean" and "" are no method: mapgen falls back to max for them.
constexpr std::array<std::string_view, 8> agg_texts = {"min",  "median", "p75", "max",
                                                       "mean", "",       "Max", "p75 "};
constexpr std::array<std::string_view, 4> diagnostic_texts = {"off", "zero", "const-pos", "const-neg"};

std::int32_t int32_at(const std::uint8_t* bytes) {
  std::uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = (value << 8) | bytes[i];
  return static_cast<std::int32_t>(value);
}

}  // namespace

// Tail layout: selector (bit 7: vary; bits 0-2: agg; bit 3: invert sign;
// bits 4-5: diagnostic), segments, qp_range (4 bytes, little endian),
// diag_value (4 bytes, little endian), worker processors.
MapChoices map_choices_from_tail(std::span<const std::uint8_t> data) {
  MapChoices choices;
  if (data.size() < choice_tail_size) return choices;
  const std::uint8_t* tail = data.data() + data.size() - choice_tail_size;
  const std::uint8_t selector = tail[0];
  if ((selector & 0x80) == 0) return choices;

  choices.agg = agg_texts[selector & 0x07];
  choices.invert_sign = (selector & 0x08) != 0;
  choices.diagnostic = diagnostic_texts[(selector >> 4) & 0x03];
  choices.segments = tail[1];
  choices.qp_range = int32_at(tail + 2);
  choices.diag_value = int32_at(tail + 6);
  choices.worker_cpus = tail[10];
  return choices;
}

}  // namespace quen::fuzz
