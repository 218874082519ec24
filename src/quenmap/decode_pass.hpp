#pragma once
// Pass 1: the whole video decoded, converted to grey and analysed.

#include "encoder.hpp"
#include "video_input.hpp"

#include <cstdint>
#include <memory>
#include <string>

namespace quenmap {

// Member order makes the encoder go before the video it was fed from.
struct DecodeResult {
  VideoInput video;
  std::unique_ptr<QuenMapEncoder> encoder;
  std::uint32_t decoded_frames = 0;  // frames handed to process_frame
};

// Opens the video, analyses every frame of its video stream as displayed (the
// part the container keeps of a cropped frame, a frame stored on its side
// turned upright, as the ffmpeg program hands them to the encoder) and
// returns the video, the encoder with the d-values of every frame pair, and
// the frame count. Throws "open input" or "Pass 1 decode" around the cause.
DecodeResult pass1_decode(const std::string& input_path);

}  // namespace quenmap
