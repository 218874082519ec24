// Built with -ffp-contract=off and without the auto-vectoriser, so every
// product and every sum below is its own rounded step, in this order.
#include <cmath>
#include <cstring>

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

namespace {

// Copies the 8x8 block whose top-left value is at `origin` into a dense matrix.
void gather_block(const double* origin, std::size_t stride, double* block) {
  for (std::size_t y = 0; y < 8; ++y) std::memcpy(block + 8 * y, origin + y * stride, 8 * sizeof(double));
}

}  // namespace

double block_d_value(const double* p, const double* c, std::size_t stride) {
  double p_block[64];
  double c_block[64];
  double pc[64];
  double cp[64];
  gather_block(p, stride, p_block);
  gather_block(c, stride, c_block);
  matmul_8x8(p_block, c_block, pc);
  matmul_8x8(c_block, p_block, cp);
  for (int i = 0; i < 64; ++i) pc[i] = pc[i] - cp[i];
  return frobenius_8x8(pc);
}

}  // namespace quenmap::scalar
