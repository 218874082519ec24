// Built with -ffp-contract=off and without the auto-vectoriser, so every
// product and every sum below is its own rounded step, in this order.
#include <cmath>

#include "kernels.hpp"

namespace quenmap::scalar {

void matmul_8x8(const double* a, const double* b, double* out) {
  for (int i = 0; i < 8; ++i) {
    for (int j = 0; j < 8; ++j) {
      double sum = 0.0;
      for (int k = 0; k < 8; ++k) {
        const double product = a[8 * i + k] * b[8 * k + j];
        sum = sum + product;
      }
      out[8 * i + j] = sum;
    }
  }
}

double frobenius_8x8(const double* x) {
  double sum = 0.0;
  for (int n = 0; n < 64; ++n) {
    const double square = x[n] * x[n];
    sum = sum + square;
  }
  return std::sqrt(sum);
}

}  // namespace quenmap::scalar
