// The two forms of the block kernels, checked against each other the way a
// checkasm harness does: many random blocks, bit-identical results demanded.
#include "quenmap/kernels.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "quenmap/cpu_features.hpp"

namespace quenmap {
namespace {

using Block = std::array<double, 64>;
using Matmul = void (*)(const double*, const double*, double*);
using Norm = double (*)(const double*);

struct Forms {
  const char* name;
  Matmul matmul;
  Norm norm;
};

bool has_avx2_fma() {
  const CpuFeatures features = cpu_features();
  return features.avx2 && features.fma;
}

Block random_samples(std::mt19937_64& rng) {
  std::uniform_int_distribution<int> sample(0, 255);
  Block block;
  for (double& value : block) value = sample(rng);
  return block;
}

Block filled(double value) {
  Block block;
  block.fill(value);
  return block;
}

// The d-value of a block pair as the analysis computes it, with the given forms.
double d_value(const Forms& forms, const Block& p, const Block& c) {
  Block pc, cp, d;
  forms.matmul(p.data(), c.data(), pc.data());
  forms.matmul(c.data(), p.data(), cp.data());
  for (int i = 0; i < 64; ++i) d[i] = pc[i] - cp[i];
  return forms.norm(d.data());
}

// Straight-loop product to check either form against.
Block reference_product(const Block& a, const Block& b) {
  Block out{};
  for (int i = 0; i < 8; ++i) {
    for (int j = 0; j < 8; ++j) {
      for (int k = 0; k < 8; ++k) out[8 * i + j] += a[8 * i + k] * b[8 * k + j];
    }
  }
  return out;
}

std::uint64_t bits(double value) {
  return std::bit_cast<std::uint64_t>(value);
}

const Forms scalar_forms{"scalar", scalar::matmul_8x8, scalar::frobenius_8x8};
const Forms avx2_forms{"avx2", avx2::matmul_8x8, avx2::frobenius_8x8};
const Forms dispatched_forms{"dispatched", matmul_8x8, frobenius_8x8};

// Every form this processor can run.
std::vector<Forms> runnable_forms() {
  std::vector<Forms> forms{scalar_forms, dispatched_forms};
  if (has_avx2_fma()) forms.push_back(avx2_forms);
  return forms;
}

using BlockDValue = double (*)(const double*, const double*, std::size_t);

// Two blocks placed inside frames wider than a block, with other values all
// around them, as the d-value stage reads them.
struct FramedPair {
  static constexpr std::size_t stride = 27;  // odd, so rows are unaligned
  static constexpr std::size_t origin = 2 * stride + 5;
  std::vector<double> previous = std::vector<double>(12 * stride);
  std::vector<double> current = std::vector<double>(12 * stride);

  FramedPair(const Block& p, const Block& c, double around) {
    std::fill(previous.begin(), previous.end(), around);
    std::fill(current.begin(), current.end(), -around);
    for (std::size_t y = 0; y < 8; ++y) {
      for (std::size_t x = 0; x < 8; ++x) {
        previous[origin + y * stride + x] = p[8 * y + x];
        current[origin + y * stride + x] = c[8 * y + x];
      }
    }
  }

  double d_value(BlockDValue form) const {
    return form(previous.data() + origin, current.data() + origin, stride);
  }
};

Block random_reals(std::mt19937_64& rng) {
  std::uniform_real_distribution<double> real(-300.0, 300.0);
  Block block;
  for (double& value : block) value = real(rng);
  return block;
}

// On arbitrary reals every rounding shows, so the in-place form must take
// exactly the steps of its own product and norm, in their order.
TEST(Kernels, BlockDValueInPlaceTakesTheStepsOfItsForm) {
  std::mt19937_64 rng(17);
  struct InPlace {
    const Forms& forms;
    BlockDValue block_d_value;
  };
  std::vector<InPlace> cases{{scalar_forms, scalar::block_d_value}};
  if (has_avx2_fma()) cases.push_back({avx2_forms, avx2::block_d_value});
  for (const InPlace& form : cases) {
    for (int round = 0; round < 5000; ++round) {
      const Block p = random_reals(rng);
      const Block c = random_reals(rng);
      const FramedPair frames(p, c, 1e6);
      ASSERT_EQ(bits(frames.d_value(form.block_d_value)), bits(d_value(form.forms, p, c)))
          << form.forms.name << ", round " << round;
    }
  }
}

TEST(KernelDispatch, BlockDValueRunsTheFormTheFeaturesSelect) {
  std::mt19937_64 rng(19);
  const BlockDValue expected = has_avx2_fma() ? avx2::block_d_value : scalar::block_d_value;
  for (int round = 0; round < 200; ++round) {
    const FramedPair frames(random_reals(rng), random_reals(rng), 3.0);
    ASSERT_EQ(bits(frames.d_value(block_d_value)), bits(frames.d_value(expected)));
  }
}

class VectorKernels : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!has_avx2_fma()) GTEST_SKIP() << "this processor lacks AVX2 or FMA";
  }
};

TEST_F(VectorKernels, ProductIsBitIdenticalToScalarOnSampleBlocks) {
  std::mt19937_64 rng(20240611);
  for (int round = 0; round < 20000; ++round) {
    const Block a = random_samples(rng);
    const Block b = random_samples(rng);
    Block from_scalar, from_vector;
    scalar::matmul_8x8(a.data(), b.data(), from_scalar.data());
    avx2::matmul_8x8(a.data(), b.data(), from_vector.data());
    for (int i = 0; i < 64; ++i) ASSERT_EQ(bits(from_scalar[i]), bits(from_vector[i])) << "round " << round;
  }
}

// Random blocks give mid-sized d-values; sparse blocks at full scale give
// the large ones, whose sums of squares come closest to 2^53.
TEST_F(VectorKernels, DValueIsBitIdenticalToScalarOnSampleBlocks) {
  std::mt19937_64 rng(7);
  std::bernoulli_distribution lit(0.3);
  auto sparse = [&] {
    Block block;
    for (double& value : block) value = lit(rng) ? 255.0 : 0.0;
    return block;
  };
  for (int round = 0; round < 20000; ++round) {
    const bool extreme = round % 4 == 0;
    const Block p = extreme ? sparse() : random_samples(rng);
    const Block c = extreme ? sparse() : random_samples(rng);
    ASSERT_EQ(bits(d_value(scalar_forms, p, c)), bits(d_value(avx2_forms, p, c))) << "round " << round;
  }
}

// On arbitrary reals the fused form rounds differently; that is where the
// dispatcher's choice shows, so it must follow the processor's features.
TEST_F(VectorKernels, BlockDValueInPlaceIsBitIdenticalToScalarOnSamples) {
  std::mt19937_64 rng(23);
  for (int round = 0; round < 20000; ++round) {
    const FramedPair frames(random_samples(rng), random_samples(rng), 255.0);
    ASSERT_EQ(bits(frames.d_value(scalar::block_d_value)), bits(frames.d_value(avx2::block_d_value)))
        << "round " << round;
  }
}

TEST(KernelDispatch, RunsTheFormTheFeaturesSelect) {
  std::mt19937_64 rng(5);
  std::uniform_real_distribution<double> real(-1.0, 1.0);
  const Forms& expected = has_avx2_fma() ? avx2_forms : scalar_forms;
  const Forms& other = has_avx2_fma() ? scalar_forms : avx2_forms;
  int telling_inputs = 0;
  for (int round = 0; round < 200 && telling_inputs < 20; ++round) {
    Block a, b;
    for (int i = 0; i < 64; ++i) a[i] = real(rng), b[i] = real(rng);
    Block from_expected, from_dispatch;
    expected.matmul(a.data(), b.data(), from_expected.data());
    matmul_8x8(a.data(), b.data(), from_dispatch.data());
    for (int i = 0; i < 64; ++i) ASSERT_EQ(bits(from_expected[i]), bits(from_dispatch[i]));
    ASSERT_EQ(bits(expected.norm(a.data())), bits(frobenius_8x8(a.data())));
    if (!has_avx2_fma()) continue;  // the vector form cannot run to tell the two apart
    Block from_other;
    other.matmul(a.data(), b.data(), from_other.data());
    if (from_other != from_expected) ++telling_inputs;
  }
  if (has_avx2_fma()) {
    EXPECT_GT(telling_inputs, 0) << "no input told the two forms apart";
  }
}

TEST(Kernels, ProductMatchesTheDefinitionInEveryForm) {
  std::mt19937_64 rng(11);
  for (const Forms& forms : runnable_forms()) {
    for (int round = 0; round < 200; ++round) {
      const Block a = random_samples(rng);
      const Block b = random_samples(rng);
      Block out;
      out.fill(-1.0);
      forms.matmul(a.data(), b.data(), out.data());
      ASSERT_EQ(out, reference_product(a, b)) << forms.name;
    }
  }
}

TEST(Kernels, NormOfSingleOnesIsRootFourteenInEveryForm) {
  const Block p = filled(1.0);
  Block c = filled(0.0);
  c[0] = 1.0;
  for (const Forms& forms : runnable_forms()) {
    Block pc, cp;
    forms.matmul(p.data(), c.data(), pc.data());
    forms.matmul(c.data(), p.data(), cp.data());
    // Row 0 from column 1 on is -1, column 0 from row 1 on is +1.
    for (int i = 0; i < 8; ++i) {
      for (int j = 0; j < 8; ++j) {
        const double expected = (i == 0 && j > 0) ? -1.0 : (j == 0 && i > 0) ? 1.0 : 0.0;
        EXPECT_EQ(pc[8 * i + j] - cp[8 * i + j], expected) << forms.name << " at " << i << "," << j;
      }
    }
    const double d = d_value(forms, p, c);
    EXPECT_EQ(bits(d), bits(3.7416573867739413)) << forms.name;
    EXPECT_EQ(static_cast<float>(d), 3.7416575f) << forms.name;
  }
}

TEST(Kernels, NormAtFullScaleInEveryForm) {
  const Block p = filled(255.0);
  Block c = filled(0.0);
  c[0] = 255.0;
  for (const Forms& forms : runnable_forms()) {
    EXPECT_EQ(bits(d_value(forms, p, c)), bits(243301.27157497554)) << forms.name;
  }
}

TEST(Kernels, CommutingBlocksGiveZeroInEveryForm) {
  std::mt19937_64 rng(3);
  const Block some = random_samples(rng);
  for (const Forms& forms : runnable_forms()) {
    EXPECT_EQ(bits(d_value(forms, some, some)), bits(0.0)) << forms.name << ": P equal to C";
    EXPECT_EQ(bits(d_value(forms, some, filled(0.0))), bits(0.0)) << forms.name << ": C all zeros";
    EXPECT_EQ(bits(d_value(forms, filled(0.0), some)), bits(0.0)) << forms.name << ": P all zeros";
    EXPECT_EQ(bits(d_value(forms, filled(17.0), filled(200.0))), bits(0.0))
        << forms.name << ": uniform blocks";
  }
}

TEST(Kernels, ExchangingTheBlocksKeepsTheNormInEveryForm) {
  std::mt19937_64 rng(13);
  for (const Forms& forms : runnable_forms()) {
    for (int round = 0; round < 500; ++round) {
      const Block p = random_samples(rng);
      const Block c = random_samples(rng);
      const double forward = d_value(forms, p, c);
      ASSERT_GT(forward, 0.0) << forms.name;
      ASSERT_EQ(bits(forward), bits(d_value(forms, c, p))) << forms.name;
    }
  }
}

}  // namespace
}  // namespace quenmap
