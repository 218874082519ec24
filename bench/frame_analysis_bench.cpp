// The analysis of 1920x1080 frame pairs on all cores: each stage on its own,
// then process_frame whole. Times are per frame (per frame pair for the
// d-value stage and process_frame).
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "quenmap/encoder.hpp"
#include "quenmap/frame_analysis.hpp"
#include "quenmap/worker_count.hpp"

namespace {

constexpr std::size_t width = 1920;
constexpr std::size_t height = 1080;
constexpr std::size_t stride = 1920;
constexpr std::uint16_t blocks_w = width / 8;
constexpr std::size_t blocks = blocks_w * (height / 8);

std::vector<std::uint8_t> noise_plane(std::uint64_t seed) {
  std::mt19937_64 rng(seed);
  std::vector<std::uint8_t> plane(stride * height);
  for (auto& byte : plane) byte = static_cast<std::uint8_t>(rng());
  return plane;
}

void luma_load(benchmark::State& state) {
  const auto plane = noise_plane(1);
  std::vector<double> frame(width * height);
  for (auto _ : state) {
    quenmap::luma_load_stage(frame, plane, width, stride);
    benchmark::DoNotOptimize(frame.data());
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
}

void d_value_stage(benchmark::State& state) {
  std::vector<double> previous(width * height), current(width * height);
  quenmap::luma_load_stage(previous, noise_plane(1), width, stride);
  quenmap::luma_load_stage(current, noise_plane(2), width, stride);
  std::vector<float> d_values(blocks);
  for (auto _ : state) {
    quenmap::d_value_stage(d_values, previous, current, blocks_w, width);
    benchmark::DoNotOptimize(d_values.data());
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
}

// Asked twice per frame pair, so its cost counts.
void worker_count(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(quenmap::worker_count());
}

// The workers alone, on the calling thread, over the whole frame: what one
// core does, without the cost of starting threads.
void load_rows_one_thread(benchmark::State& state) {
  const auto plane = noise_plane(1);
  std::vector<double> frame(width * height);
  for (auto _ : state) {
    quenmap::load_rows(frame, plane, width, 0, stride);
    benchmark::DoNotOptimize(frame.data());
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
}

void block_d_values_one_thread(benchmark::State& state) {
  std::vector<double> previous(width * height), current(width * height);
  quenmap::load_rows(previous, noise_plane(1), width, 0, stride);
  quenmap::load_rows(current, noise_plane(2), width, 0, stride);
  std::vector<float> d_values(blocks);
  for (auto _ : state) {
    quenmap::block_d_values(d_values, previous, current, 0, blocks_w, width);
    benchmark::DoNotOptimize(d_values.data());
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
}

// Alternates two frames so every call is a real frame pair. d_history grows
// by 129,600 bytes per call into room reserved up front, as it does in a run.
void process_frame(benchmark::State& state) {
  const auto first = noise_plane(1);
  const auto second = noise_plane(2);
  quenmap::QuenMapEncoder encoder(width, height, 25, 1);
  encoder.reserve_frames(static_cast<std::size_t>(state.max_iterations) + 1);
  encoder.process_frame(first, stride);
  bool odd = false;
  for (auto _ : state) {
    encoder.process_frame(odd ? first : second, stride);
    odd = !odd;
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
}

}  // namespace

BENCHMARK(worker_count)->Unit(benchmark::kMicrosecond);
BENCHMARK(load_rows_one_thread)->Unit(benchmark::kMillisecond);
BENCHMARK(block_d_values_one_thread)->Unit(benchmark::kMillisecond);
BENCHMARK(luma_load)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();
BENCHMARK(d_value_stage)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();
BENCHMARK(process_frame)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();
