// The vector forms are compiled for AVX2+FMA function by function, not with a
// file-wide -mavx2, so that nothing else in this file (or an inline function
// the linker might pick from it) uses instructions an older processor lacks.
#include <immintrin.h>

#include <cmath>

#include "kernels.hpp"

namespace quenmap::avx2 {

namespace {

// The square root of (L0 + L2) + (L1 + L3) for the lanes L0..L3.
__attribute__((target("avx2,fma"))) double root_of_lane_sum(__m256d lanes) {
  const __m128d low = _mm256_castpd256_pd128(lanes);     // L0, L1
  const __m128d high = _mm256_extractf128_pd(lanes, 1);  // L2, L3
  const __m128d pairs = _mm_add_pd(low, high);           // L0 + L2, L1 + L3
  const double sum = _mm_cvtsd_f64(pairs) + _mm_cvtsd_f64(_mm_unpackhi_pd(pairs, pairs));
  return std::sqrt(sum);
}

}  // namespace

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
  return root_of_lane_sum(lanes);
}

// matmul_8x8 twice, the difference and frobenius_8x8 in one pass, with the
// blocks read where they lie: row i of P*C and of C*P is built in four
// independent accumulators (more work in flight than one product at a time),
// subtracted, and its squares added to the norm's lanes at once. Every
// element sees the same fused steps in the same order as in the separate
// kernels, so the result is bit for bit theirs.
__attribute__((target("avx2,fma"))) double block_d_value(const double* p, const double* c,
                                                         std::size_t stride) {
  __m256d lanes = _mm256_setzero_pd();
  for (std::size_t i = 0; i < 8; ++i) {
    __m256d pc_left = _mm256_setzero_pd();
    __m256d pc_right = _mm256_setzero_pd();
    __m256d cp_left = _mm256_setzero_pd();
    __m256d cp_right = _mm256_setzero_pd();
    for (std::size_t k = 0; k < 8; ++k) {
      const __m256d p_ik = _mm256_broadcast_sd(p + i * stride + k);
      const __m256d c_ik = _mm256_broadcast_sd(c + i * stride + k);
      pc_left = _mm256_fmadd_pd(p_ik, _mm256_loadu_pd(c + k * stride), pc_left);
      pc_right = _mm256_fmadd_pd(p_ik, _mm256_loadu_pd(c + k * stride + 4), pc_right);
      cp_left = _mm256_fmadd_pd(c_ik, _mm256_loadu_pd(p + k * stride), cp_left);
      cp_right = _mm256_fmadd_pd(c_ik, _mm256_loadu_pd(p + k * stride + 4), cp_right);
    }
    const __m256d d_left = _mm256_sub_pd(pc_left, cp_left);     // elements 8i .. 8i+3
    const __m256d d_right = _mm256_sub_pd(pc_right, cp_right);  // elements 8i+4 .. 8i+7
    lanes = _mm256_fmadd_pd(d_left, d_left, lanes);
    lanes = _mm256_fmadd_pd(d_right, d_right, lanes);
  }
  return root_of_lane_sum(lanes);
}

}  // namespace quenmap::avx2
