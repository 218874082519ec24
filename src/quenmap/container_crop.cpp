#include "container_crop.hpp"

namespace quenmap {
namespace {

// Down to a whole number of chroma samples: the crop filter's rounding when
// it is not told to crop exactly.
std::int64_t on_chroma_grid(std::int64_t value, int log2_chroma) {
  return value & ~((std::int64_t{1} << log2_chroma) - 1);
}

// What is left of one side once both its edges are taken off; 0 for nothing.
std::uint32_t kept_side(std::uint32_t side, std::uint32_t first_edge, std::uint32_t second_edge,
                        int log2_chroma) {
  const std::int64_t kept = std::int64_t{side} - first_edge - second_edge;
  if (kept <= 0) return 0;
  return static_cast<std::uint32_t>(on_chroma_grid(kept, log2_chroma));
}

}  // namespace

// The crop filter keeps the picture within the frame by moving it left or
// up; rounding the kept size down never lets it stick out, so the start is
// only rounded.
FrameCrop crop_like_ffmpeg(const CropEdges& edges, std::uint32_t width, std::uint32_t height,
                           int log2_chroma_w, int log2_chroma_h) {
  FrameCrop crop;
  crop.width = kept_side(width, edges.left, edges.right, log2_chroma_w);
  crop.height = kept_side(height, edges.top, edges.bottom, log2_chroma_h);
  if (crop.width == 0 || crop.height == 0) return {0, 0, crop.width, crop.height};
  crop.x = static_cast<std::uint32_t>(on_chroma_grid(edges.left, log2_chroma_w));
  crop.y = static_cast<std::uint32_t>(on_chroma_grid(edges.top, log2_chroma_h));
  return crop;
}

}  // namespace quenmap
