#include "cpu_features.hpp"

#include <cpuid.h>

#include <atomic>

namespace quenmap {

namespace {

constexpr std::uint32_t fma_bit = 1u << 12;      // leaf 1 ECX
constexpr std::uint32_t xsave_bit = 1u << 26;    // leaf 1 ECX
constexpr std::uint32_t osxsave_bit = 1u << 27;  // leaf 1 ECX
constexpr std::uint32_t avx2_bit = 1u << 5;      // leaf 7 EBX
constexpr std::uint64_t sse_avx_state = 0b110;   // XCR0 bits 1 and 2

bool os_saves_avx_state(const CpuidReport& report) {
  const std::uint32_t needed = xsave_bit | osxsave_bit;
  return (report.leaf1_ecx & needed) == needed && (report.xcr0 & sse_avx_state) == sse_avx_state;
}

// XGETBV faults unless the OS set OSXSAVE, so it is only run after that check.
std::uint64_t read_xcr0() {
  std::uint32_t low = 0;
  std::uint32_t high = 0;
  __asm__ volatile("xgetbv" : "=a"(low), "=d"(high) : "c"(0));
  return (static_cast<std::uint64_t>(high) << 32) | low;
}

// The record is one word so that threads racing to fill it store the same
// value whole; the "known" bit tells a filled record from an empty one.
constexpr std::uint32_t known_flag = 1u << 0;
constexpr std::uint32_t avx2_flag = 1u << 1;
constexpr std::uint32_t fma_flag = 1u << 2;

std::atomic<std::uint32_t> feature_word{0};

std::uint32_t encode(const CpuFeatures& features) {
  return known_flag | (features.avx2 ? avx2_flag : 0) | (features.fma ? fma_flag : 0);
}

}  // namespace

CpuFeatures features_from_cpuid(const CpuidReport& report) {
  if (report.highest_leaf < 1) return {};
  const bool avx_state = os_saves_avx_state(report);
  CpuFeatures features;
  features.fma = avx_state && (report.leaf1_ecx & fma_bit) != 0;
  features.avx2 = avx_state && report.highest_leaf >= 7 && (report.leaf7_ebx & avx2_bit) != 0;
  return features;
}

CpuidReport read_cpuid() {
  CpuidReport report;
  unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
  if (!__get_cpuid_count(0, 0, &eax, &ebx, &ecx, &edx)) return report;
  report.highest_leaf = eax;
  if (report.highest_leaf < 1) return report;
  __get_cpuid_count(1, 0, &eax, &ebx, &ecx, &edx);
  report.leaf1_ecx = ecx;
  if (report.highest_leaf >= 7) {
    __get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx);
    report.leaf7_ebx = ebx;
  }
  if ((report.leaf1_ecx & osxsave_bit) != 0) report.xcr0 = read_xcr0();
  return report;
}

CpuFeatures cpu_features() {
  std::uint32_t word = feature_word.load(std::memory_order_relaxed);
  if ((word & known_flag) == 0) {
    word = encode(features_from_cpuid(read_cpuid()));
    feature_word.store(word, std::memory_order_relaxed);
  }
  return {(word & avx2_flag) != 0, (word & fma_flag) != 0};
}

}  // namespace quenmap
