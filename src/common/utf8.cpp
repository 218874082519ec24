#include "utf8.hpp"

#include <cstddef>

namespace quen {

namespace {

// What a lead byte allows: the length of its sequence and the range of the
// byte after it. The narrowed second-byte ranges are what rule out overlong
// forms, surrogates and code points above U+10FFFF.
struct LeadByte {
  std::size_t length = 0;  // 0: the byte cannot start a sequence
  unsigned char second_low = 0x80;
  unsigned char second_high = 0xBF;
};

LeadByte lead_byte(unsigned char byte) {
  if (byte < 0x80) return {1};
  if (byte >= 0xC2 && byte <= 0xDF) return {2};
  if (byte == 0xE0) return {3, 0xA0, 0xBF};
  if (byte == 0xED) return {3, 0x80, 0x9F};
  if (byte >= 0xE1 && byte <= 0xEF) return {3};
  if (byte == 0xF0) return {4, 0x90, 0xBF};
  if (byte >= 0xF1 && byte <= 0xF3) return {4};
  if (byte == 0xF4) return {4, 0x80, 0x8F};
  return {};
}

bool in_range(unsigned char byte, unsigned char low, unsigned char high) {
  return byte >= low && byte <= high;
}

// Length of the well-formed sequence that starts at text[at], or 0.
std::size_t sequence_length(std::string_view text, std::size_t at) {
  const auto lead = lead_byte(static_cast<unsigned char>(text[at]));
  if (lead.length == 0 || text.size() - at < lead.length) return 0;
  if (lead.length == 1) return 1;
  if (!in_range(static_cast<unsigned char>(text[at + 1]), lead.second_low, lead.second_high)) return 0;
  for (std::size_t i = 2; i < lead.length; ++i) {
    if (!in_range(static_cast<unsigned char>(text[at + i]), 0x80, 0xBF)) return 0;
  }
  return lead.length;
}

}  // namespace

bool is_valid_utf8(std::string_view text) {
  for (std::size_t at = 0; at < text.size();) {
    const auto length = sequence_length(text, at);
    if (length == 0) return false;
    at += length;
  }
  return true;
}

std::string to_valid_utf8(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t at = 0; at < text.size();) {
    const auto length = sequence_length(text, at);
    if (length == 0) {
      out += "\xEF\xBF\xBD";
      ++at;
    } else {
      out.append(text.substr(at, length));
      at += length;
    }
  }
  return out;
}

}  // namespace quen
