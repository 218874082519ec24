#include "qp_segments.hpp"

#include "common/console.hpp"
#include "common/number_format.hpp"
#include "common/wrapping_int.hpp"

#include <algorithm>
#include <cmath>

namespace quen::roimap {

std::uint8_t segment_count(std::uint8_t segments) {
  return std::clamp<std::uint8_t>(segments, 2, 8);
}

std::vector<float> segment_thresholds(std::span<const float> svt_values, std::uint8_t count) {
  std::vector<float> sorted(svt_values.begin(), svt_values.end());
  std::sort(sorted.begin(), sorted.end());

  const std::size_t len = sorted.size();
  std::vector<float> thresholds;
  thresholds.reserve(count - 1u);
  for (unsigned i = 1; i < count; ++i) {
    const double x = (static_cast<double>(i) / static_cast<double>(count)) * (static_cast<double>(len) - 1.0);
    const double rounded = std::round(x);                                          // halves away from zero
    std::size_t position = rounded > 0.0 ? static_cast<std::size_t>(rounded) : 0;  // NaN fails the test too
    position = std::min(position, len - 1);
    thresholds.push_back(sorted[position]);
  }
  return thresholds;
}

QpSegments::QpSegments(std::uint8_t segments, std::int32_t qp_range, std::span<const float> svt_values,
                       OffsetSign sign)
    : count_(segment_count(segments)),
      qp_range_(qp_range),
      // Beyond +-1073741823 the doubling wraps, and the step follows from it.
      step_(wrapping_mul(qp_range, 2) / (count_ - 1)),
      sign_(sign),
      thresholds_(segment_thresholds(svt_values, count_)) {}

std::uint32_t QpSegments::bucket_of(float value) const {
  std::uint32_t bucket = 0;
  for (const float t : thresholds_) bucket += value > t ? 1 : 0;
  return bucket;
}

std::int32_t QpSegments::qp_offset(std::uint32_t bucket) const {
  const std::int32_t stepped = wrapping_mul(static_cast<std::int32_t>(bucket), step_);
  return sign_ == OffsetSign::low_values_positive ? wrapping_sub(qp_range_, stepped)
                                                  : wrapping_sub(stepped, qp_range_);
}

void print_quantization(const QpSegments& segments) {
  eprint("\n[Quantization] {} segments, QP offsets:\n", segments.count());
  for (std::uint32_t b = 0; b < segments.count(); ++b) {
    eprint("  bucket {}: offset {:+}\n", b, segments.qp_offset(b));
  }
  eprint("  d thresholds: {}\n", float_list(segments.thresholds()));
}

}  // namespace quen::roimap
