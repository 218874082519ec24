#include "quenmap/display_orientation.hpp"

#include "clips.hpp"
#include "run_program.hpp"
#include "temp_dir.hpp"

#include <gtest/gtest.h>

extern "C" {
#include <libavutil/display.h>
}

#include <array>
#include <cstdint>
#include <fstream>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace quenmap {
namespace {

using quen::testing::TempDir;

struct MatrixCase {
  double degrees;
  bool hflip;
  bool vflip;
  DisplayOrientation expected;
};

// What the ffmpeg program (5.1) was seen to insert for MP4 files carrying
// these matrices, made the way FFmpeg makes them: the rotation, then the flips.
TEST(OrientationFromMatrix, ChoosesTheFiltersOfTheFfmpegProgram) {
  using enum DisplayOrientation;
  const MatrixCase cases[] = {
      {0, false, false, identity},
      {0, false, true, vflip},
      {0, true, false, hflip},
      {0, true, true, rotate_180},
      {90, false, false, transpose_clock},
      {90, false, true, transpose_clock_flip},
      {90, true, false, transpose_cclock_flip},
      {90, true, true, transpose_cclock},
      {180, false, false, rotate_180},
      {180, false, true, hflip},
      {180, true, false, vflip},
      {180, true, true, identity},
      {270, false, false, transpose_cclock},
      {270, false, true, transpose_cclock_flip},
      {270, true, false, transpose_clock_flip},
      {270, true, true, transpose_clock},
      {-90, false, false, transpose_cclock},
      // The angle is rounded to whole degrees before it is compared.
      {89.6, false, false, transpose_clock},
      {89.4, false, false, other_angle},
      {45, false, false, other_angle},
  };
  for (const auto& c : cases) {
    std::array<std::int32_t, 9> matrix{};
    av_display_rotation_set(matrix.data(), c.degrees);
    av_display_matrix_flip(matrix.data(), c.hflip ? 1 : 0, c.vflip ? 1 : 0);
    EXPECT_EQ(orientation_from_matrix(matrix.data()), c.expected)
        << c.degrees << " degrees, hflip " << c.hflip << ", vflip " << c.vflip;
  }

  EXPECT_EQ(orientation_from_matrix(nullptr), identity);
  // A matrix of zeros has no angle; the ffmpeg program then turns nothing.
  const std::array<std::int32_t, 9> zeros{};
  EXPECT_EQ(orientation_from_matrix(zeros.data()), identity);
}

// The plane the ffmpeg program makes of a packed grey plane with `filter`.
std::string ffmpeg_filtered(const std::filesystem::path& plane, std::uint32_t width, std::uint32_t height,
                            const std::string& filter) {
  const auto size = std::to_string(width) + "x" + std::to_string(height);
  std::vector<std::string> argv{quen::testing::ffmpeg_program(), "-hide_banner", "-loglevel", "error",
                                "-nostdin"};
  argv.insert(argv.end(), {"-f", "rawvideo", "-pix_fmt", "gray", "-video_size", size, "-i", plane.string()});
  argv.insert(argv.end(), {"-vf", filter, "-f", "rawvideo", "-pix_fmt", "gray", "pipe:1"});
  const auto result = quen::testing::run_program(argv);
  EXPECT_EQ(result.exit_code, 0) << result.err;
  return result.out;
}

// Compares turn_plane with the ffmpeg program's filters on `pixels`, a
// packed plane with no pixel of 255; turn_plane reads it from rows padded
// with 255, so that reading into the padding shows.
void expect_turns_like_ffmpeg(const std::string& pixels, std::uint32_t width, std::uint32_t height) {
  TempDir dir("display_orientation");
  const auto path = dir / "stored.gray";
  std::ofstream(path, std::ios::binary) << pixels;
  const std::size_t stride = width + 5;
  std::string padded(stride * height, '\xff');
  for (std::size_t row = 0; row < height; ++row) {
    padded.replace(row * stride, width, pixels, row * width, width);
  }

  using enum DisplayOrientation;
  const std::pair<DisplayOrientation, std::string> filters[] = {
      {identity, "null"},
      {transpose_clock, "transpose=clock"},
      {transpose_cclock, "transpose=cclock"},
      {transpose_clock_flip, "transpose=clock_flip"},
      {transpose_cclock_flip, "transpose=cclock_flip"},
      {hflip, "hflip"},
      {vflip, "vflip"},
      {rotate_180, "hflip,vflip"},
  };
  for (const auto& [orientation, filter] : filters) {
    std::string turned(pixels.size(), '\0');
    turn_plane(orientation, reinterpret_cast<const std::uint8_t*>(padded.data()), stride, width, height,
               reinterpret_cast<std::uint8_t*>(turned.data()));
    EXPECT_EQ(turned, ffmpeg_filtered(path, width, height, filter))
        << filter << " at " << width << "x" << height;
  }
}

TEST(TurnPlane, TurnsAsTheFfmpegFiltersDo) {
  // Every pixel of its own value: any pixel out of place shows.
  std::string distinct(13 * 7, '\0');
  for (std::size_t i = 0; i < distinct.size(); ++i) distinct[i] = static_cast<char>(i);
  expect_turns_like_ffmpeg(distinct, 13, 7);

  // Larger than one tile of the turn each way, and not a multiple of it.
  std::mt19937 random(90);
  std::string noise(141 * 67, '\0');
  for (auto& pixel : noise) pixel = static_cast<char>(random() % 255);
  expect_turns_like_ffmpeg(noise, 141, 67);
}

}  // namespace
}  // namespace quenmap
