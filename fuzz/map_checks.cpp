#include "map_checks.hpp"

#include "common/fd.hpp"

#include <fcntl.h>
#include <fmt/format.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <numeric>
#include <string>
#include <vector>

namespace quen::fuzz {
namespace {

// Every entry of P*C and C*P lies in 0..8*255^2, so every entry of their
// difference is at most that in size, and the norm of the 64 entries at most
// 8 times it; a little room is left for the float rounding of the result.
constexpr double max_d_value = 8.0 * (8.0 * 255.0 * 255.0) * (1.0 + 1e-6);

Fd& report_fd() {
  static Fd fd;
  return fd;
}

template <class... Args>
[[noreturn]] void fail(fmt::format_string<Args...> format, Args&&... args) {
  const std::string text =
      "fuzz_mapgen: broken property: " + fmt::format(format, std::forward<Args>(args)...) + "\n";
  const int fd = report_fd() ? report_fd().get() : STDERR_FILENO;
  [[maybe_unused]] const ssize_t written = ::write(fd, text.data(), text.size());
  std::abort();
}

struct Range {
  float low = 0.0f;
  float high = 0.0f;
};

Range range_of(std::span<const float> values) {
  const auto [low, high] = std::minmax_element(values.begin(), values.end());
  return {*low, *high};
}

std::int32_t wrapping_negate(std::int32_t value) {
  return static_cast<std::int32_t>(0u - static_cast<std::uint32_t>(value));
}

// The offsets that may appear in the file, in bucket order.
std::vector<std::int32_t> written_offsets(const roimap::QpSegments& segments,
                                          const MapExpectation& expected) {
  std::vector<std::int32_t> offsets;
  if (expected.uniform_offset) {
    offsets.push_back(*expected.uniform_offset);
  } else {
    for (std::uint32_t b = 0; b < segments.count(); ++b) offsets.push_back(segments.qp_offset(b));
  }
  if (expected.invert_sign) std::transform(offsets.begin(), offsets.end(), offsets.begin(), wrapping_negate);
  return offsets;
}

// The next space-separated token of `rest` as a number written in its one
// canonical decimal form (no sign on non-negatives, no leading zeros).
template <class Int>
Int take_number(std::string_view& rest, std::uint32_t line_number) {
  const std::string_view token = rest.substr(0, rest.find(' '));
  Int value{};
  const auto [end, error] = std::from_chars(token.data(), token.data() + token.size(), value);
  if (error != std::errc{} || end != token.data() + token.size() || fmt::format("{}", value) != token) {
    fail("map line {}: \"{}\" is no decimal number", line_number, token);
  }
  rest.remove_prefix(token.size());
  return value;
}

void check_map_line(std::string_view line, std::uint32_t line_number, std::span<const std::int32_t> offsets,
                    std::uint32_t svt_per_frame) {
  if (take_number<std::uint32_t>(line, line_number) != line_number)
    fail("map line {} has another number", line_number);
  std::uint32_t blocks = 0;
  while (!line.empty()) {
    if (line.front() != ' ') fail("map line {}: no single space before an offset", line_number);
    line.remove_prefix(1);
    const auto offset = take_number<std::int32_t>(line, line_number);
    if (std::find(offsets.begin(), offsets.end(), offset) == offsets.end()) {
      fail("map line {}: offset {} belongs to no segment", line_number, offset);
    }
    ++blocks;
  }
  if (blocks != svt_per_frame)
    fail("map line {}: {} offsets for {} SVT blocks", line_number, blocks, svt_per_frame);
}

}  // namespace

void keep_report_stream() {
  if (!report_fd()) report_fd() = Fd(::fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 3));
}

void check_d_history(std::span<const float> d_history, std::uint16_t blocks_w, std::uint16_t blocks_h,
                     std::uint32_t decoded_frames) {
  const std::uint64_t pairs = decoded_frames == 0 ? 0 : decoded_frames - 1;
  const std::uint64_t expected = pairs * blocks_w * blocks_h;
  if (d_history.size() != expected) {
    fail("{} d-values after {} frames of {}x{} blocks", d_history.size(), decoded_frames, blocks_w, blocks_h);
  }
  for (const float d : d_history) {
    if (!(d >= 0.0f && d <= max_d_value)) fail("d-value {} outside 0..{}", d, max_d_value);
  }
}

void check_svt_values(std::span<const float> svt_values, std::span<const float> d_history,
                      const roimap::FramePairs& counts, const roimap::SvtGrid& grid) {
  if (svt_values.size() != std::size_t{counts.pairs} * grid.svt_per_frame) {
    fail("{} SVT-block values for {} pairs of {} blocks", svt_values.size(), counts.pairs,
         grid.svt_per_frame);
  }
  for (std::uint32_t p = 0; p < counts.pairs; ++p) {
    const Range members = range_of(d_history.subspan(std::size_t{p} * counts.per_frame, counts.per_frame));
    for (const float v : svt_values.subspan(std::size_t{p} * grid.svt_per_frame, grid.svt_per_frame)) {
      // Every method picks one of the members; a block without any gets 0.0.
      if (v != 0.0f && !(v >= members.low && v <= members.high)) {
        fail("pair {}: SVT-block value {} outside its d-values {}..{}", p, v, members.low, members.high);
      }
    }
  }
}

void check_segments(const roimap::QpSegments& segments, std::uint8_t asked_segments,
                    std::span<const float> svt_values) {
  const unsigned count = std::clamp<unsigned>(asked_segments, 2, 8);
  if (segments.count() != count) fail("{} segments asked, {} in use", asked_segments, segments.count());
  const auto& thresholds = segments.thresholds();
  if (thresholds.size() != count - 1) fail("{} thresholds for {} segments", thresholds.size(), count);
  if (!std::is_sorted(thresholds.begin(), thresholds.end())) fail("thresholds out of order");
  const Range values = range_of(svt_values);
  for (const float t : thresholds) {
    if (!(t >= values.low && t <= values.high))
      fail("threshold {} outside {}..{}", t, values.low, values.high);
  }
}

void check_bucket_counts(std::span<const std::uint64_t> bucket_counts, const roimap::QpSegments& segments,
                         const MapExpectation& expected) {
  if (bucket_counts.size() != segments.count()) fail("{} bucket counts", bucket_counts.size());
  const std::uint64_t total = std::accumulate(bucket_counts.begin(), bucket_counts.end(), std::uint64_t{0});
  const std::uint64_t blocks =
      expected.uniform_offset ? 0 : std::uint64_t{expected.pairs} * expected.svt_per_frame;
  if (total != blocks) fail("bucket counts add up to {}, not {}", total, blocks);
}

void check_map_text(std::string_view text, const roimap::QpSegments& segments,
                    const MapExpectation& expected) {
  const auto offsets = written_offsets(segments, expected);
  std::uint32_t line_number = 0;
  while (!text.empty()) {
    const auto end = text.find('\n');
    if (end == std::string_view::npos) fail("map line {} has no line feed", line_number);
    check_map_line(text.substr(0, end), line_number, offsets, expected.svt_per_frame);
    text.remove_prefix(end + 1);
    ++line_number;
  }
  if (line_number != expected.pairs) fail("{} map lines for {} pairs", line_number, expected.pairs);
}

}  // namespace quen::fuzz
