#pragma once
// Signed 32-bit arithmetic that wraps on overflow (two's complement), as the
// QP offsets are defined: every option value a user can type has a result.
// Done on unsigned values, where C++ defines the wrap.

#include <cstdint>

namespace quen {

constexpr std::int32_t wrapping_mul(std::int32_t a, std::int32_t b) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) * static_cast<std::uint32_t>(b));
}

constexpr std::int32_t wrapping_sub(std::int32_t a, std::int32_t b) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) - static_cast<std::uint32_t>(b));
}

// -(-2147483648) stays -2147483648.
constexpr std::int32_t wrapping_neg(std::int32_t v) {
  return wrapping_sub(0, v);
}

// |-2147483648| stays -2147483648.
constexpr std::int32_t wrapping_abs(std::int32_t v) {
  return v < 0 ? wrapping_neg(v) : v;
}

}  // namespace quen
