#include "quenmap/cpu_features.hpp"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace quenmap {
namespace {

constexpr std::uint32_t fma = 1u << 12;
constexpr std::uint32_t xsave = 1u << 26;
constexpr std::uint32_t osxsave = 1u << 27;
constexpr std::uint32_t avx2 = 1u << 5;

// A processor with both features and an OS that saves the AVX state.
CpuidReport capable() {
  return CpuidReport{7, fma | xsave | osxsave, avx2, 0b111};
}

TEST(CpuFeatures, CapableProcessorHasBoth) {
  const CpuFeatures features = features_from_cpuid(capable());
  EXPECT_TRUE(features.avx2);
  EXPECT_TRUE(features.fma);
}

TEST(CpuFeatures, EachFeatureNeedsItsOwnBit) {
  CpuidReport no_fma = capable();
  no_fma.leaf1_ecx &= ~fma;
  EXPECT_TRUE(features_from_cpuid(no_fma).avx2);
  EXPECT_FALSE(features_from_cpuid(no_fma).fma);

  CpuidReport no_avx2 = capable();
  no_avx2.leaf7_ebx = ~avx2;
  EXPECT_FALSE(features_from_cpuid(no_avx2).avx2);
  EXPECT_TRUE(features_from_cpuid(no_avx2).fma);
}

TEST(CpuFeatures, LeafSevenCountsOnlyWhenReported) {
  CpuidReport old = capable();
  old.highest_leaf = 6;
  EXPECT_FALSE(features_from_cpuid(old).avx2);
  EXPECT_TRUE(features_from_cpuid(old).fma);
}

TEST(CpuFeatures, HighestLeafZeroHasNeither) {
  CpuidReport bare{0, ~0u, ~0u, ~0ull};
  const CpuFeatures features = features_from_cpuid(bare);
  EXPECT_FALSE(features.avx2);
  EXPECT_FALSE(features.fma);
}

TEST(CpuFeatures, WithoutTheAvxStateNeitherIsUsable) {
  for (std::uint32_t missing : {xsave, osxsave}) {
    CpuidReport report = capable();
    report.leaf1_ecx &= ~missing;
    EXPECT_FALSE(features_from_cpuid(report).avx2) << std::hex << missing;
    EXPECT_FALSE(features_from_cpuid(report).fma) << std::hex << missing;
  }
  for (std::uint64_t xcr0 : {0b011ull, 0b101ull, 0ull}) {
    CpuidReport report = capable();
    report.xcr0 = xcr0;
    EXPECT_FALSE(features_from_cpuid(report).avx2) << xcr0;
    EXPECT_FALSE(features_from_cpuid(report).fma) << xcr0;
  }
}

// The kernel exports what it found usable in /proc/cpuinfo: an independent
// reading of the same CPUID bits and XCR0.
TEST(CpuFeatures, AgreesWithTheKernel) {
  std::ifstream cpuinfo("/proc/cpuinfo");
  std::string line;
  while (std::getline(cpuinfo, line) && line.rfind("flags", 0) != 0) {
  }
  if (line.empty()) GTEST_SKIP() << "no flags line in /proc/cpuinfo";
  std::istringstream words(line.substr(line.find(':') + 1));
  bool kernel_avx2 = false, kernel_fma = false;
  for (std::string flag; words >> flag;) {
    kernel_avx2 |= flag == "avx2";
    kernel_fma |= flag == "fma";
  }
  const CpuFeatures features = cpu_features();
  EXPECT_EQ(features.avx2, kernel_avx2);
  EXPECT_EQ(features.fma, kernel_fma);
}

TEST(CpuFeatures, RecordIsTheSameOnEveryThread) {
  const CpuidReport report = read_cpuid();
  const CpuFeatures direct = features_from_cpuid(report);
  std::vector<CpuFeatures> seen(8);
  std::vector<std::thread> threads;
  for (CpuFeatures& slot : seen) threads.emplace_back([&slot] { slot = cpu_features(); });
  for (std::thread& thread : threads) thread.join();
  for (const CpuFeatures& features : seen) {
    EXPECT_EQ(features.avx2, direct.avx2);
    EXPECT_EQ(features.fma, direct.fma);
  }
}

}  // namespace
}  // namespace quenmap
