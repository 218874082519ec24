#pragma once
// The cropping a container asks for, as the ffmpeg program applies it.
//
// Matroska's PixelCrop fields and MP4's clean aperture tell a player to show
// only part of each stored frame. From FFmpeg 7.1 on, libavformat reports
// them and the ffmpeg program crops every decoded frame by default, before
// it turns the frame for display, so the encoder gets the cropped frames:
// the analysis has to look at the same part of each frame, or its map is
// the map of another picture. Releases before 7.1 neither report nor apply
// it, and there every frame is analysed whole.

#include <cstdint>

namespace quenmap {

// How many pixels the container takes off each edge of the stored frame.
struct CropEdges {
  std::uint32_t top = 0;
  std::uint32_t bottom = 0;
  std::uint32_t left = 0;
  std::uint32_t right = 0;
};

// The part of the stored frame that is kept, in stored pixels.
struct FrameCrop {
  std::uint32_t x = 0;
  std::uint32_t y = 0;
  std::uint32_t width = 0;
  std::uint32_t height = 0;

  bool operator==(const FrameCrop&) const = default;
};

// The rectangle the ffmpeg program keeps of frames of `width` x `height`
// whose chroma planes are subsampled by 2^log2_chroma_w across and
// 2^log2_chroma_h down: its crop filter keeps position and size on whole
// chroma samples, rounding each down. Edges that leave no picture give a
// rectangle of width or height 0, which no analysis accepts (the ffmpeg
// program refuses such a file too).
FrameCrop crop_like_ffmpeg(const CropEdges& edges, std::uint32_t width, std::uint32_t height,
                           int log2_chroma_w, int log2_chroma_h);

}  // namespace quenmap
