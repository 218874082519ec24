#pragma once
// Which vector instructions this processor and its operating system let us use.
//
// The processor is examined once per process; afterwards every question costs
// one relaxed load of a single word and a bit test, cheap enough for the block
// kernels to ask at every call.

#include <cstdint>

namespace quenmap {

struct CpuFeatures {
  bool avx2 = false;
  bool fma = false;
};

// What CPUID and XGETBV reported, before any interpretation.
struct CpuidReport {
  std::uint32_t highest_leaf = 0;  // leaf 0, EAX
  std::uint32_t leaf1_ecx = 0;     // leaf 1, ECX (valid when highest_leaf >= 1)
  std::uint32_t leaf7_ebx = 0;     // leaf 7 subleaf 0, EBX (valid when highest_leaf >= 7)
  std::uint64_t xcr0 = 0;          // XGETBV(0) (valid when leaf 1 reports OSXSAVE)
};

// The features that a report allows: AVX2 and FMA each need the processor to
// have them and the operating system to save the AVX register state.
CpuFeatures features_from_cpuid(const CpuidReport& report);

// Asks the processor now (CPUID, and XGETBV only where the OS enabled it).
CpuidReport read_cpuid();

// The process-wide record, filled by whichever thread asks first.
CpuFeatures cpu_features();

}  // namespace quenmap
