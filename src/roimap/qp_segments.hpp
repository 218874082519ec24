#pragma once
// Quantile segments of the SVT-block values and the QP offset of each.
//
// All SVT-block values of the video are cut into 2..8 buckets by thresholds
// taken from their sorted copy; every bucket gets a QP offset stepped evenly
// across +-qp_range. The integer arithmetic is 32-bit two's complement and
// wraps, so every qp_range a user can type has a defined result.

#include <cstdint>
#include <span>
#include <vector>

namespace quen::roimap {

// Which end of the range the lowest values get.
enum class OffsetSign {
  low_values_positive,  // bucket b: qp_range - b * step (mapgen)
  low_values_negative,  // bucket b: b * step - qp_range (encpipe)
};

// The count - 1 thresholds of `svt_values` (at least one value).
std::vector<float> segment_thresholds(std::span<const float> svt_values, std::uint8_t count);

class QpSegments {
 public:
  QpSegments(std::uint8_t segments, std::int32_t qp_range, std::span<const float> svt_values,
             OffsetSign sign);

  std::uint8_t count() const { return count_; }
  std::int32_t qp_range() const { return qp_range_; }
  std::int32_t step() const { return step_; }
  const std::vector<float>& thresholds() const { return thresholds_; }

  // The number of thresholds that `value` is strictly greater than.
  std::uint32_t bucket_of(float value) const;
  std::int32_t qp_offset(std::uint32_t bucket) const;

 private:
  std::uint8_t count_;
  std::int32_t qp_range_;
  std::int32_t step_;
  OffsetSign sign_;
  std::vector<float> thresholds_;
};

// The segment count in use: `segments` clamped to 2..8.
std::uint8_t segment_count(std::uint8_t segments);

// The "[Quantization]" report on standard error.
void print_quantization(const QpSegments& segments);

}  // namespace quen::roimap
