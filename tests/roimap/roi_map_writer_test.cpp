#include "roimap/roi_map_writer.hpp"

#include "common/error.hpp"
#include "temp_dir.hpp"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <system_error>

namespace quen::roimap {
namespace {

using quen::testing::slurp;
using quen::testing::TempDir;

// Three frame pairs of a 128x64 video (2 SVT blocks per pair) with six
// distinct values: the two lowest land in bucket 0, the others in 1..4.
const std::vector<float> example_values{1, 5, 4, 2, 6, 3};

TEST(WriteRoiMap, OneLinePerFramePairWithTheBucketOffsets) {
  TempDir dir;
  const QpSegments segments(5, 20, example_values, OffsetSign::low_values_positive);
  const auto counts = write_roi_map(dir / "map.txt", example_values, 3, 2, segments, {});
  EXPECT_EQ(slurp(dir / "map.txt"), "0 20 -10\n1 0 20\n2 -20 10\n");
  EXPECT_EQ(counts, (std::vector<std::uint64_t>{2, 1, 1, 1, 1}));
}

TEST(WriteRoiMap, EncpipeSignGivesTheLowestValuesTheSmallestOffset) {
  TempDir dir;
  const QpSegments segments(5, 30, example_values, OffsetSign::low_values_negative);
  write_roi_map(dir / "map.txt", example_values, 3, 2, segments, {});
  EXPECT_EQ(slurp(dir / "map.txt"), "0 -30 15\n1 0 -30\n2 30 -15\n");
}

TEST(WriteRoiMap, UniformOffsetAndInversionReplaceEveryOffsetAndCountNothing) {
  TempDir dir;
  const QpSegments segments(5, 20, example_values, OffsetSign::low_values_positive);
  const auto counts = write_roi_map(dir / "u.txt", example_values, 3, 2, segments,
                                    {.uniform_offset = 2, .invert_sign = true});
  EXPECT_EQ(slurp(dir / "u.txt"), "0 -2 -2\n1 -2 -2\n2 -2 -2\n");
  EXPECT_EQ(counts, (std::vector<std::uint64_t>(5, 0)));

  write_roi_map(dir / "i.txt", example_values, 3, 2, segments, {.invert_sign = true});
  EXPECT_EQ(slurp(dir / "i.txt"), "0 -20 10\n1 0 -20\n2 20 -10\n");

  // Negating -2147483648 wraps to itself.
  write_roi_map(dir / "m.txt", example_values, 1, 2, segments,
                {.uniform_offset = INT32_MIN, .invert_sign = true});
  EXPECT_EQ(slurp(dir / "m.txt"), "0 -2147483648 -2147483648\n");
}

TEST(WriteRoiMap, ReplacesTheWholeContentOfAnExistingFile) {
  TempDir dir;
  std::ofstream(dir / "map.txt") << std::string(1000, 'x');
  const QpSegments segments(5, 20, example_values, OffsetSign::low_values_positive);
  write_roi_map(dir / "map.txt", example_values, 1, 2, segments, {});
  EXPECT_EQ(slurp(dir / "map.txt"), "0 20 -10\n");
}

TEST(WriteRoiMap, CreateFailureComesBackUnderTheContext) {
  TempDir dir;
  const QpSegments segments(5, 20, example_values, OffsetSign::low_values_positive);
  try {
    write_roi_map(dir / "missing" / "map.txt", example_values, 3, 2, segments,
                  {.create_context = "create ROI map"});
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(error_report(e), std::string("create ROI map\n\nCaused by:\n    ") + std::strerror(ENOENT));
  }
  EXPECT_FALSE(std::filesystem::exists(dir / "missing"));
}

TEST(WriteRoiMap, RefusesASymbolicLinkWhenAskedNotToFollow) {
  TempDir dir;
  std::ofstream(dir / "victim") << "keep";
  std::filesystem::create_symlink(dir / "victim", dir / "map.txt");
  const QpSegments segments(5, 20, example_values, OffsetSign::low_values_positive);
  EXPECT_THROW(write_roi_map(dir / "map.txt", example_values, 3, 2, segments, {.follow_symlinks = false}),
               Error);
  EXPECT_EQ(slurp(dir / "victim"), "keep");
  write_roi_map(dir / "map.txt", example_values, 1, 2, segments, {});
  EXPECT_EQ(slurp(dir / "victim"), "0 20 -10\n");
}

TEST(WriteRoiMap, AFailedWriteIsTheSystemErrorWithoutContext) {
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  const QpSegments segments(5, 20, example_values, OffsetSign::low_values_positive);
  try {
    write_roi_map("/dev/full", example_values, 3, 2, segments, {});
    FAIL() << "no error";
  } catch (const std::system_error& e) {
    EXPECT_EQ(e.code().value(), ENOSPC);
    EXPECT_EQ(error_report(e), std::strerror(ENOSPC));
  }
}

TEST(WriteRoiMap, NeverOverwritesTheFileToKeepIntactHoweverItIsNamed) {
  TempDir dir;
  std::filesystem::create_directory(dir / "sub");
  std::ofstream(dir / "video.mp4") << "precious";
  std::filesystem::create_symlink(dir / "video.mp4", dir / "link.mp4");
  std::filesystem::create_hard_link(dir / "video.mp4", dir / "hard.mp4");
  const QpSegments segments(5, 20, example_values, OffsetSign::low_values_positive);
  for (const auto& spelling :
       {dir / "video.mp4", dir / "sub" / ".." / "video.mp4", dir / "link.mp4", dir / "hard.mp4"}) {
    SCOPED_TRACE(spelling.string());
    try {
      write_roi_map(spelling, example_values, 3, 2, segments, {.keep_intact = dir / "video.mp4"});
      FAIL() << "no error";
    } catch (const Error& e) {
      EXPECT_EQ(error_report(e),
                "create output\n\nCaused by:\n    the output path names the input video itself: " +
                    spelling.string());
    }
    EXPECT_EQ(slurp(dir / "video.mp4"), "precious");
  }
  // Another file is written as usual.
  write_roi_map(dir / "map.txt", example_values, 1, 2, segments, {.keep_intact = dir / "video.mp4"});
  EXPECT_EQ(slurp(dir / "map.txt"), "0 20 -10\n");
}

}  // namespace
}  // namespace quen::roimap
