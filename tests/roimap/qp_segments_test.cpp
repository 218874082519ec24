#include "roimap/qp_segments.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace quen::roimap {
namespace {

std::vector<std::int32_t> offsets(std::uint8_t segments, std::int32_t qp_range, OffsetSign sign) {
  const std::vector<float> values{1.0f};
  const QpSegments s(segments, qp_range, values, sign);
  std::vector<std::int32_t> out;
  for (std::uint32_t b = 0; b < s.count(); ++b) out.push_back(s.qp_offset(b));
  return out;
}

using V = std::vector<std::int32_t>;

TEST(QpSegments, OffsetsStepFromPlusRangeForTheLowestValues) {
  const auto sign = OffsetSign::low_values_positive;
  EXPECT_EQ(offsets(5, 20, sign), (V{20, 10, 0, -10, -20}));
  EXPECT_EQ(offsets(2, 20, sign), (V{20, -20}));
  EXPECT_EQ(offsets(3, 20, sign), (V{20, 0, -20}));
  EXPECT_EQ(offsets(4, 20, sign), (V{20, 7, -6, -19}));
  EXPECT_EQ(offsets(6, 20, sign), (V{20, 12, 4, -4, -12, -20}));
  EXPECT_EQ(offsets(7, 20, sign), (V{20, 14, 8, 2, -4, -10, -16}));
  EXPECT_EQ(offsets(8, 20, sign), (V{20, 15, 10, 5, 0, -5, -10, -15}));
  EXPECT_EQ(offsets(4, -10, sign), (V{-10, -4, 2, 8}));  // step -6: truncated toward zero
  EXPECT_EQ(offsets(5, 0, sign), (V{0, 0, 0, 0, 0}));
}

TEST(QpSegments, OffsetsStepFromMinusRangeForTheLowestValues) {
  const auto sign = OffsetSign::low_values_negative;
  EXPECT_EQ(offsets(5, 30, sign), (V{-30, -15, 0, 15, 30}));
  EXPECT_EQ(offsets(2, 30, sign), (V{-30, 30}));
  EXPECT_EQ(offsets(4, 30, sign), (V{-30, -10, 10, 30}));
  EXPECT_EQ(offsets(8, 30, sign), (V{-30, -22, -14, -6, 2, 10, 18, 26}));
  EXPECT_EQ(offsets(4, 20, sign), (V{-20, -7, 6, 19}));
  EXPECT_EQ(offsets(4, -10, sign), (V{10, 4, -2, -8}));
}

TEST(QpSegments, CountIsClampedAndArithmeticWraps) {
  const std::vector<float> values{1.0f, 2.0f};
  for (const std::uint8_t s : {0, 1, 2})
    EXPECT_EQ(QpSegments(s, 20, values, OffsetSign::low_values_positive).count(), 2);
  for (const std::uint8_t s : {9, 12, 255}) {
    EXPECT_EQ(QpSegments(s, 20, values, OffsetSign::low_values_positive).count(), 8);
  }
  // The doubling of 1073741824 wraps to -2147483648.
  const QpSegments wrapped(5, 1073741824, values, OffsetSign::low_values_positive);
  EXPECT_EQ(wrapped.step(), -536870912);
  EXPECT_EQ(wrapped.qp_offset(4), 1073741824LL - 4LL * -536870912LL - 4294967296LL);  // wraps past INT32_MAX
  const QpSegments extreme(2, -2147483648, values, OffsetSign::low_values_positive);
  EXPECT_EQ(extreme.step(), 0);  // -2^31 doubled wraps to 0
}

TEST(SegmentThresholds, TakesRoundedQuantilePositionsOfTheSortedValues) {
  EXPECT_EQ(segment_thresholds(std::vector<float>{7.0f}, 5), (std::vector<float>{7, 7, 7, 7}));
  // Position 0.5 rounds away from zero to 1: the larger value.
  EXPECT_EQ(segment_thresholds(std::vector<float>{9.0f, 4.0f}, 2), (std::vector<float>{9.0f}));
  // Positions 0.5, 1.0, 1.5 give 1, 1, 2.
  EXPECT_EQ(segment_thresholds(std::vector<float>{3, 1, 2}, 4), (std::vector<float>{2, 2, 3}));
}

TEST(QpSegments, BucketIsTheCountOfThresholdsStrictlyBelow) {
  const std::vector<float> values{3, 1, 2};
  const QpSegments s(4, 20, values, OffsetSign::low_values_positive);
  EXPECT_EQ(s.bucket_of(1.0f), 0u);
  EXPECT_EQ(s.bucket_of(2.0f), 0u);  // equal to a threshold: the lower side
  EXPECT_EQ(s.bucket_of(3.0f), 2u);
  EXPECT_EQ(s.bucket_of(100.0f), 3u);
  EXPECT_EQ(s.bucket_of(std::nanf("")), 0u);

  // Half zeros: the first two thresholds are 0 and every zero is in bucket 0.
  std::vector<float> half(100, 0.0f);
  for (int i = 50; i < 100; ++i) half[i] = static_cast<float>(i);
  const QpSegments h(5, 20, half, OffsetSign::low_values_positive);
  EXPECT_EQ(h.thresholds()[0], 0.0f);
  EXPECT_EQ(h.thresholds()[1], 0.0f);
  EXPECT_EQ(h.bucket_of(0.0f), 0u);
}

TEST(PrintQuantization, ReportsOffsetsAndShortestThresholds) {
  const std::vector<float> values{0.0f, 0.0f, std::sqrt(2.0f), std::sqrt(10.0f), std::sqrt(168.0f), 100.0f};
  const QpSegments s(5, 20, values, OffsetSign::low_values_positive);
  ::testing::internal::CaptureStderr();
  print_quantization(s);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(),
            "\n[Quantization] 5 segments, QP offsets:\n"
            "  bucket 0: offset +20\n"
            "  bucket 1: offset +10\n"
            "  bucket 2: offset +0\n"
            "  bucket 3: offset -10\n"
            "  bucket 4: offset -20\n"
            "  d thresholds: [0.0, 1.4142135, 3.1622777, 12.961481]\n");
}

}  // namespace
}  // namespace quen::roimap
