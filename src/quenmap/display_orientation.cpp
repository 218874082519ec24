#include "display_orientation.hpp"

extern "C" {
#include <libavutil/display.h>
}

#include <algorithm>
#include <cmath>

namespace quenmap {
namespace {

// The clockwise angle the ffmpeg program reads from the matrix, in whole
// degrees within [0, 360); a degenerate matrix gives NaN, which it ignores.
double display_angle(const std::int32_t* matrix) {
  double theta = -std::round(av_display_rotation_get(matrix));
  theta -= 360.0 * std::floor(theta / 360.0 + 0.9 / 360.0);
  return theta;
}

bool near(double angle, double target) {
  return std::fabs(angle - target) < 1.0;
}

// Where the turned plane reads from: the source offset of the displayed
// pixel (0, 0), and how the offset moves one pixel along a displayed row and
// one row down.
struct Walk {
  std::ptrdiff_t origin = 0;
  std::ptrdiff_t along_row = 1;
  std::ptrdiff_t down_column = 0;
};

Walk walk_of(DisplayOrientation orientation, std::ptrdiff_t stride, std::ptrdiff_t width,
             std::ptrdiff_t height) {
  const std::ptrdiff_t last_row = (height - 1) * stride;
  const std::ptrdiff_t last_col = width - 1;
  switch (orientation) {
    case DisplayOrientation::transpose_clock:
      return {last_row, -stride, 1};
    case DisplayOrientation::transpose_cclock:
      return {last_col, stride, -1};
    case DisplayOrientation::transpose_clock_flip:
      return {last_row + last_col, -stride, -1};
    case DisplayOrientation::transpose_cclock_flip:
      return {0, stride, 1};
    case DisplayOrientation::hflip:
      return {last_col, -1, stride};
    case DisplayOrientation::vflip:
      return {last_row, 1, -stride};
    case DisplayOrientation::rotate_180:
      return {last_row + last_col, -1, -stride};
    case DisplayOrientation::identity:
    case DisplayOrientation::other_angle:
      break;
  }
  return {0, 1, stride};
}

}  // namespace

DisplayOrientation orientation_from_matrix(const std::int32_t* matrix) {
  if (matrix == nullptr) return DisplayOrientation::identity;
  const double theta = display_angle(matrix);
  if (near(theta, 90.0)) {
    return matrix[3] > 0 ? DisplayOrientation::transpose_cclock_flip : DisplayOrientation::transpose_clock;
  }
  if (near(theta, 180.0)) {
    const bool hflip = matrix[0] < 0;
    const bool vflip = matrix[4] < 0;
    if (hflip && vflip) return DisplayOrientation::rotate_180;
    if (hflip) return DisplayOrientation::hflip;
    return vflip ? DisplayOrientation::vflip : DisplayOrientation::identity;
  }
  if (near(theta, 270.0)) {
    return matrix[3] < 0 ? DisplayOrientation::transpose_clock_flip : DisplayOrientation::transpose_cclock;
  }
  if (near(theta, 0.0)) return matrix[4] < 0 ? DisplayOrientation::vflip : DisplayOrientation::identity;
  // NaN fails every comparison above and turns nothing, as in the ffmpeg program.
  return std::isnan(theta) ? DisplayOrientation::identity : DisplayOrientation::other_angle;
}

bool swaps_sides(DisplayOrientation orientation) {
  switch (orientation) {
    case DisplayOrientation::transpose_clock:
    case DisplayOrientation::transpose_cclock:
    case DisplayOrientation::transpose_clock_flip:
    case DisplayOrientation::transpose_cclock_flip:
      return true;
    default:
      return false;
  }
}

bool turns_frames(DisplayOrientation orientation) {
  return orientation != DisplayOrientation::identity && orientation != DisplayOrientation::other_angle;
}

void turn_plane(DisplayOrientation orientation, const std::uint8_t* src, std::size_t stride,
                std::uint32_t width, std::uint32_t height, std::uint8_t* dst) {
  const bool swapped = swaps_sides(orientation);
  const std::size_t out_width = swapped ? height : width;
  const std::size_t out_height = swapped ? width : height;
  const Walk walk = walk_of(orientation, static_cast<std::ptrdiff_t>(stride), width, height);
  // Square tiles keep both the rows written and the columns read of a
  // transpose within the cache.
  constexpr std::size_t tile = 64;
  for (std::size_t y0 = 0; y0 < out_height; y0 += tile) {
    const std::size_t y_end = std::min(y0 + tile, out_height);
    for (std::size_t x0 = 0; x0 < out_width; x0 += tile) {
      const std::size_t x_end = std::min(x0 + tile, out_width);
      for (std::size_t y = y0; y < y_end; ++y) {
        std::ptrdiff_t at = walk.origin + static_cast<std::ptrdiff_t>(y) * walk.down_column +
                            static_cast<std::ptrdiff_t>(x0) * walk.along_row;
        std::uint8_t* row = dst + y * out_width;
        for (std::size_t x = x0; x < x_end; ++x, at += walk.along_row) row[x] = src[at];
      }
    }
  }
}

}  // namespace quenmap
