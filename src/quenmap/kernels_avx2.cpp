// The vector forms are compiled for AVX2+FMA function by function, not with a
// file-wide -mavx2, so that nothing else in this file (or an inline function
// the linker might pick from it) uses instructions an older processor lacks.
#include <immintrin.h>

#include <cmath>

#include "kernels.hpp"

namespace quenmap::avx2 {

// Each output row lives in two four-lane accumulators for the whole k loop;
// every element sees the scalar form's sum in the same order, fused.
__attribute__((target("avx2,fma"))) void matmul_8x8(const double* a, const double* b, double* out) {
  for (int i = 0; i < 8; ++i) {
    __m256d left = _mm256_setzero_pd();
    __m256d right = _mm256_setzero_pd();
    for (int k = 0; k < 8; ++k) {
      const __m256d a_ik = _mm256_broadcast_sd(a + 8 * i + k);
      left = _mm256_fmadd_pd(a_ik, _mm256_loadu_pd(b + 8 * k), left);
      right = _mm256_fmadd_pd(a_ik, _mm256_loadu_pd(b + 8 * k + 4), right);
    }
    _mm256_storeu_pd(out + 8 * i, left);
    _mm256_storeu_pd(out + 8 * i + 4, right);
  }
}

// Lane l sums the squares at l, l + 4, ..., l + 60; the lanes are then added
// as (L0 + L2) + (L1 + L3).
__attribute__((target("avx2,fma"))) double frobenius_8x8(const double* x) {
  __m256d lanes = _mm256_setzero_pd();
  for (int c = 0; c < 16; ++c) {
    const __m256d v = _mm256_loadu_pd(x + 4 * c);
    lanes = _mm256_fmadd_pd(v, v, lanes);
  }
  const __m128d low = _mm256_castpd256_pd128(lanes);     // L0, L1
  const __m128d high = _mm256_extractf128_pd(lanes, 1);  // L2, L3
  const __m128d pairs = _mm_add_pd(low, high);           // L0 + L2, L1 + L3
  const double sum = _mm_cvtsd_f64(pairs) + _mm_cvtsd_f64(_mm_unpackhi_pd(pairs, pairs));
  return std::sqrt(sum);
}

}  // namespace quenmap::avx2
