#pragma once
// QuenMAP analysis: one d-value per whole 8x8 block of every frame pair.
//
// The decode pass creates one QuenMapEncoder per run and hands it every frame,
// already converted to 8-bit grey and turned as the video is displayed, in
// decoder output order. From the second frame on, process_frame appends the
// d-value of every block (the Frobenius norm of P*C - C*P, with P and C the
// block in the previous and the current frame) to d_history.

#include <cstddef>
#include <cstdint>
#include <span>

#include "large_buffer.hpp"

namespace quenmap {

class QuenMapEncoder {
 public:
  static constexpr std::uint32_t block_size = 8;

  // Prints "QuenMapEncoder: WxH -> BWxBH blocks (8x8), N/Dfps" on standard error.
  QuenMapEncoder(std::uint16_t width, std::uint16_t height, std::uint32_t fps_num, std::uint32_t fps_den);

  // plane: the grey plane, stride bytes per row; stride is at least the width.
  void process_frame(std::span<const std::uint8_t> plane, std::size_t stride);

  // Makes room in d_history for `frames` frames at once, so that a history of
  // tens of megabytes is not copied over and over as it grows (nor held twice
  // while it is). Only a hint: more frames still fit.
  void reserve_frames(std::size_t frames);

  std::uint16_t blocks_w() const { return blocks_w_; }
  std::uint16_t blocks_h() const { return blocks_h_; }
  const LargeBuffer<float>& d_history() const { return d_history_; }

 private:
  std::uint16_t blocks_w_;
  std::uint16_t blocks_h_;
  bool has_prev_ = false;
  LargeBuffer<double> prev_pixels_;
  // The frame being loaded; traded with prev_pixels_ at the end of each call.
  LargeBuffer<double> current_pixels_;
  LargeBuffer<float> d_history_;
};

// Throws quen::Error naming the size when a video of this size cannot be
// analysed: no whole 8x8 block across or down, or a side of 65,536 pixels or
// more (the analysis keeps sizes in 16 bits).
void check_frame_size(std::uint32_t width, std::uint32_t height);

}  // namespace quenmap
