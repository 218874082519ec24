#pragma once
// The arithmetic of one d-value: the product of two 8x8 matrices and the
// Frobenius norm of one, on row-major arrays of 64 doubles (element (i, j) at
// 8 * i + j, no alignment needed), and the whole d-value of a block pair read
// in place from two frames.
//
// Each has a scalar form and an AVX2+FMA form. On whole numbers 0..255, the
// only inputs the analysis gives them, every intermediate value is exact in
// both forms, so the d-values do not depend on which form ran. The plain
// names pick the form at every call from the processor's features.

#include <cstddef>

namespace quenmap {

// out = a * b; out must not overlap a or b.
void matmul_8x8(const double* a, const double* b, double* out);

// The square root of the sum of the squares of the 64 values.
double frobenius_8x8(const double* x);

// The d-value of one block pair: the norm of P*C - C*P, where P and C are the
// 8x8 blocks whose top-left values are at `p` and `c`, read in place from
// row-major frames of `stride` doubles per row. Every form gives exactly what
// its own matmul_8x8 and frobenius_8x8 give on the blocks copied out.
double block_d_value(const double* p, const double* c, std::size_t stride);

namespace scalar {

// Products and sums are separate, each rounded, in the textbook order.
void matmul_8x8(const double* a, const double* b, double* out);
double frobenius_8x8(const double* x);
double block_d_value(const double* p, const double* c, std::size_t stride);

}  // namespace scalar

namespace avx2 {

// Only call these when cpu_features() reports both AVX2 and FMA.
void matmul_8x8(const double* a, const double* b, double* out);
double frobenius_8x8(const double* x);
double block_d_value(const double* p, const double* c, std::size_t stride);

}  // namespace avx2

}  // namespace quenmap
