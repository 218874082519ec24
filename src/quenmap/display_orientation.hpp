#pragma once
// How a video is turned for display, as the ffmpeg program turns it.
//
// A phone stores its frames as the sensor saw them and records in the
// stream's display matrix how to turn them. The ffmpeg program applies that
// matrix by default before the frames reach the encoder, so the analysis
// has to look at the frames turned the same way, or its map lands on the
// wrong blocks.

#include <cstddef>
#include <cstdint>

namespace quenmap {

// The turn the ffmpeg program makes, named after the filters it inserts.
enum class DisplayOrientation {
  identity,               // no filter
  transpose_clock,        // 90 degrees clockwise
  transpose_cclock,       // 90 degrees counter-clockwise
  transpose_clock_flip,   // mirrored across the anti-diagonal
  transpose_cclock_flip,  // mirrored across the diagonal
  hflip,                  // mirrored left to right
  vflip,                  // mirrored top to bottom
  rotate_180,             // hflip and vflip
  // An angle that is no multiple of 90 degrees: the ffmpeg program rotates
  // inside the stored frame size, which no block map can follow, so the
  // analysis stays on the stored frames.
  other_angle,
};

// The orientation the ffmpeg program derives from a display matrix (nine
// 16.16 and 2.30 fixed-point values, as FFmpeg stores them); nullptr, for a
// stream without one, is the identity.
DisplayOrientation orientation_from_matrix(const std::int32_t* matrix);

// Whether the displayed frame is the stored one with width and height swapped.
bool swaps_sides(DisplayOrientation orientation);

// Whether the decode pass turns each frame before the analysis: not for the
// identity, and not for other angles, which it leaves alone.
bool turns_frames(DisplayOrientation orientation);

// Turns one grey plane of the stored size (`width` x `height`, `stride` bytes
// per row) into `dst`, packed, at the displayed size: width and height
// swapped when the orientation swaps sides. Orientations that turn nothing
// copy the plane.
void turn_plane(DisplayOrientation orientation, const std::uint8_t* src, std::size_t stride,
                std::uint32_t width, std::uint32_t height, std::uint8_t* dst);

}  // namespace quenmap
