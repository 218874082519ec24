// Blocks per second of the full d-value of one block (two products, the
// difference, the norm) in each form of the kernels.
#include <benchmark/benchmark.h>

#include <array>
#include <random>
#include <vector>

#include "quenmap/cpu_features.hpp"
#include "quenmap/kernels.hpp"

namespace {

using Block = std::array<double, 64>;
using Matmul = void (*)(const double*, const double*, double*);
using Norm = double (*)(const double*);

constexpr std::size_t pool_size = 1024;

// A pool of sample blocks larger than one, so the work cannot be hoisted.
std::vector<Block> sample_blocks() {
  std::mt19937_64 rng(1);
  std::uniform_int_distribution<int> sample(0, 255);
  std::vector<Block> blocks(pool_size);
  for (Block& block : blocks)
    for (double& value : block) value = sample(rng);
  return blocks;
}

template <Matmul matmul, Norm norm>
void d_values(benchmark::State& state) {
  const std::vector<Block> blocks = sample_blocks();
  std::size_t i = 0;
  for (auto _ : state) {
    const Block& p = blocks[i % pool_size];
    const Block& c = blocks[(i + 1) % pool_size];
    Block pc, cp, d;
    matmul(p.data(), c.data(), pc.data());
    matmul(c.data(), p.data(), cp.data());
    for (int k = 0; k < 64; ++k) d[k] = pc[k] - cp[k];
    benchmark::DoNotOptimize(norm(d.data()));
    ++i;
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
}

void scalar_d_value(benchmark::State& state) {
  d_values<quenmap::scalar::matmul_8x8, quenmap::scalar::frobenius_8x8>(state);
}

void avx2_d_value(benchmark::State& state) {
  const quenmap::CpuFeatures features = quenmap::cpu_features();
  if (!features.avx2 || !features.fma) {
    state.SkipWithError("this processor lacks AVX2 or FMA");
    return;
  }
  d_values<quenmap::avx2::matmul_8x8, quenmap::avx2::frobenius_8x8>(state);
}

void dispatched_d_value(benchmark::State& state) {
  d_values<quenmap::matmul_8x8, quenmap::frobenius_8x8>(state);
}

// The one-pass form the d-value stage calls, reading the blocks in place.
void dispatched_block_d_value(benchmark::State& state) {
  const std::vector<Block> blocks = sample_blocks();
  std::size_t i = 0;
  for (auto _ : state) {
    const Block& p = blocks[i % pool_size];
    const Block& c = blocks[(i + 1) % pool_size];
    benchmark::DoNotOptimize(quenmap::block_d_value(p.data(), c.data(), 8));
    ++i;
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
}

}  // namespace

BENCHMARK(scalar_d_value);
BENCHMARK(avx2_d_value);
BENCHMARK(dispatched_d_value);
BENCHMARK(dispatched_block_d_value);
