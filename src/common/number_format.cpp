#include "number_format.hpp"

#include <fmt/format.h>

#include <array>
#include <charconv>
#include <cmath>
#include <string_view>

namespace quen {

namespace {

// A positive value as d.ddd × 10^exponent, with the fewest digits that
// still read back as the same float.
struct Decimal {
  std::string digits;
  int exponent = 0;
};

Decimal shortest_decimal(float value) {
  // The standard library's shortest form already picks the nearest of the
  // shortest digit strings; we only take its digits and lay them out our way.
  std::array<char, 32> buffer{};
  const auto end =
      std::to_chars(buffer.data(), buffer.data() + buffer.size(), value, std::chars_format::scientific).ptr;
  const std::string_view text(buffer.data(), static_cast<std::size_t>(end - buffer.data()));
  const auto e = text.find('e');

  Decimal decimal;
  for (const char c : text.substr(0, e)) {
    if (c != '.') decimal.digits += c;
  }
  auto exponent_text = text.substr(e + 1);
  if (exponent_text.starts_with('+')) exponent_text.remove_prefix(1);
  std::from_chars(exponent_text.data(), exponent_text.data() + exponent_text.size(), decimal.exponent);
  return decimal;
}

std::string scientific(const Decimal& decimal) {
  const std::string_view digits = decimal.digits;
  if (digits.size() == 1) return fmt::format("{}e{}", digits, decimal.exponent);
  return fmt::format("{}.{}e{}", digits.substr(0, 1), digits.substr(1), decimal.exponent);
}

std::string positional(const Decimal& decimal) {
  const std::string_view digits = decimal.digits;
  if (decimal.exponent < 0) {
    return fmt::format("0.{}{}", std::string(static_cast<std::size_t>(-decimal.exponent - 1), '0'), digits);
  }
  const auto whole = static_cast<std::size_t>(decimal.exponent) + 1;
  if (digits.size() <= whole) return fmt::format("{}{}.0", digits, std::string(whole - digits.size(), '0'));
  return fmt::format("{}.{}", digits.substr(0, whole), digits.substr(whole));
}

}  // namespace

std::string shortest_float(float value) {
  if (std::isnan(value)) return "NaN";
  if (std::signbit(value)) return fmt::format("-{}", shortest_float(-value));
  if (std::isinf(value)) return "inf";
  if (value == 0.0f) return "0.0";
  const auto decimal = shortest_decimal(value);
  if (value >= 1e16f || value < 1e-4f) return scientific(decimal);
  return positional(decimal);
}

std::string float_list(std::span<const float> values) {
  std::string out = "[";
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (i > 0) out += ", ";
    out += shortest_float(values[i]);
  }
  out += ']';
  return out;
}

}  // namespace quen
