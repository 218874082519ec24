#include "kernels.hpp"

#include "cpu_features.hpp"

namespace quenmap {

namespace {

// The one place where the form of the kernels is chosen.
bool use_avx2_fma() {
  const CpuFeatures features = cpu_features();
  return features.avx2 && features.fma;
}

}  // namespace

void matmul_8x8(const double* a, const double* b, double* out) {
  if (use_avx2_fma()) {
    avx2::matmul_8x8(a, b, out);
  } else {
    scalar::matmul_8x8(a, b, out);
  }
}

double frobenius_8x8(const double* x) {
  return use_avx2_fma() ? avx2::frobenius_8x8(x) : scalar::frobenius_8x8(x);
}

double block_d_value(const double* p, const double* c, std::size_t stride) {
  return use_avx2_fma() ? avx2::block_d_value(p, c, stride) : scalar::block_d_value(p, c, stride);
}

}  // namespace quenmap
