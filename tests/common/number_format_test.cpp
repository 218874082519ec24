#include "common/number_format.hpp"

#include <fmt/format.h>
#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace {

TEST(ShortestFloat, PositionalForm) {
  EXPECT_EQ(quen::shortest_float(0.0f), "0.0");
  EXPECT_EQ(quen::shortest_float(1.0f), "1.0");
  EXPECT_EQ(quen::shortest_float(12.5f), "12.5");
  EXPECT_EQ(quen::shortest_float(0.0001f), "0.0001");
  EXPECT_EQ(quen::shortest_float(0.00123f), "0.00123");
  EXPECT_EQ(quen::shortest_float(std::sqrt(2.0f)), "1.4142135");
  EXPECT_EQ(quen::shortest_float(std::sqrt(168.0f)), "12.961481");
  EXPECT_EQ(quen::shortest_float(123456789.0f), "123456790.0");
  EXPECT_EQ(quen::shortest_float(1e15f), "1000000000000000.0");
  EXPECT_EQ(quen::shortest_float(std::nextafter(1e16f, 0.0f)), "9999999000000000.0");
}

TEST(ShortestFloat, ScientificForm) {
  EXPECT_EQ(quen::shortest_float(1e16f), "1e16");
  EXPECT_EQ(quen::shortest_float(1.5e-5f), "1.5e-5");
  EXPECT_EQ(quen::shortest_float(0x1p-20f), "9.536743e-7");
  EXPECT_EQ(quen::shortest_float(std::nextafter(1e-4f, 0.0f)), "9.999999e-5");
  EXPECT_EQ(quen::shortest_float(std::numeric_limits<float>::max()), "3.4028235e38");
  EXPECT_EQ(quen::shortest_float(std::numeric_limits<float>::denorm_min()), "1e-45");
}

TEST(ShortestFloat, SignsAndSpecialValues) {
  EXPECT_EQ(quen::shortest_float(-12.5f), "-12.5");
  EXPECT_EQ(quen::shortest_float(-1.5e-5f), "-1.5e-5");
  EXPECT_EQ(quen::shortest_float(-0.0f), "-0.0");
  EXPECT_EQ(quen::shortest_float(std::numeric_limits<float>::quiet_NaN()), "NaN");
  EXPECT_EQ(quen::shortest_float(std::numeric_limits<float>::infinity()), "inf");
  EXPECT_EQ(quen::shortest_float(-std::numeric_limits<float>::infinity()), "-inf");
}

// Every finite float must read back bit for bit, in the form its magnitude asks for.
TEST(ShortestFloat, RoundTripsRandomFloats) {
  std::mt19937 random(20240611);
  std::uniform_int_distribution<std::uint32_t> bits;
  for (int i = 0; i < 200000; ++i) {
    const auto value = std::bit_cast<float>(bits(random));
    if (!std::isfinite(value)) continue;
    const auto text = quen::shortest_float(value);
    float back = 0.0f;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), back);
    ASSERT_EQ(result.ec, std::errc()) << text;
    ASSERT_EQ(result.ptr, text.data() + text.size()) << text;
    ASSERT_EQ(std::bit_cast<std::uint32_t>(back), std::bit_cast<std::uint32_t>(value)) << text;

    const float magnitude = std::fabs(value);
    const bool scientific = magnitude >= 1e16f || (magnitude != 0.0f && magnitude < 1e-4f);
    ASSERT_EQ(text.find('e') != std::string::npos, scientific) << text;
    ASSERT_EQ(text.find('+'), std::string::npos) << text;
    if (!scientific) {
      ASSERT_NE(text.find('.'), std::string::npos) << text;
    }
  }
}

TEST(FloatList, BracketsAndSeparators) {
  EXPECT_EQ(quen::float_list({}), "[]");
  const std::vector<float> one{0.5f};
  EXPECT_EQ(quen::float_list(one), "[0.5]");
  const std::vector<float> thresholds{0.0f, std::sqrt(2.0f), std::sqrt(10.0f), std::sqrt(168.0f)};
  EXPECT_EQ(quen::float_list(thresholds), "[0.0, 1.4142135, 3.1622777, 12.961481]");
}

// The reports rely on {fmt} rounding the exact binary value, ties to even,
// and keeping the sign of a negative that rounds to zero.
TEST(FmtRounding, OneDecimalIsExact) {
  EXPECT_EQ(fmt::format("{:.1f}", 0.25), "0.2");
  EXPECT_EQ(fmt::format("{:.1f}", 0.35), "0.3");  // 0.35 is stored just below
  EXPECT_EQ(fmt::format("{:+.1f}", -0.0004), "-0.0");
  EXPECT_EQ(fmt::format("{:+.1f}", 0.0), "+0.0");
}

}  // namespace
