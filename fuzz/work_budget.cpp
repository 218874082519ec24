#include "work_budget.hpp"

#include "quenmap/encoder.hpp"
#include "quenmap/video_input.hpp"

#include <charconv>
#include <cstdlib>
#include <exception>
#include <string_view>

namespace quen::fuzz {
namespace {

// Starting the stage workers of one frame costs about as much, under the
// sanitizers, as analysing this many pixels.
constexpr std::uint64_t frame_overhead_pixels = std::uint64_t{1} << 18;

bool refused_for_size(const quenmap::VideoInput& video) {
  try {
    quenmap::check_frame_size(video.width, video.height);
    return false;
  } catch (const std::exception&) {
    return true;
  }
}

bool packets_within(const quenmap::VideoInput& video, std::uint64_t budget) {
  const std::uint64_t frame_cost = std::uint64_t{video.width} * video.height + frame_overhead_pixels;
  std::uint64_t cost = 0;
  while (quenmap::next_video_packet(video.format_ctx.get(), video.stream_index)) {
    cost += frame_cost;
    if (cost > budget) return false;
  }
  return true;
}

}  // namespace

std::uint64_t work_budget_from_environment() {
  const char* text = std::getenv("QUENAV1_FUZZ_BUDGET");
  if (text == nullptr) return default_work_budget;
  const std::string_view digits(text);
  std::uint64_t budget = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), budget);
  if (error != std::errc{} || end != digits.data() + digits.size()) return default_work_budget;
  return budget;
}

Measure measure_video(const std::string& path, std::uint64_t budget) {
  try {
    const auto video = quenmap::open_video(path);
    if (refused_for_size(video)) return Measure::refused;
    return packets_within(video, budget) ? Measure::run : Measure::over_budget;
  } catch (const std::exception&) {
    return Measure::run;
  }
}

}  // namespace quen::fuzz
