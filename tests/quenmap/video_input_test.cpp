#include "quenmap/video_input.hpp"

#include "quenmap/ffmpeg_error.hpp"

#include "clips.hpp"
#include "decode_test_support.hpp"
#include "temp_dir.hpp"

#include <gtest/gtest.h>

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <limits>
#include <string>
#include <vector>

namespace quenmap {
namespace {

using quen::testing::error_chain;
using quen::testing::make_clip;
using quen::testing::rotated_clip;
using ::testing::internal::CaptureStderr;
using ::testing::internal::GetCapturedStderr;

constexpr auto max_count = std::numeric_limits<std::uint64_t>::max();

TEST(EstimateFrames, TruncatesTowardZero) {
  EXPECT_EQ(estimate_frames(25, 1, 10'000'000), 250u);
  EXPECT_EQ(estimate_frames(30000, 1001, 10'000'000), 299u);
  EXPECT_EQ(estimate_frames(24, 1, 999'999), 23u);
  EXPECT_EQ(estimate_frames(0, 0, 10'000'000), 0u);
}

TEST(EstimateFrames, ZeroDenominatorCountsAsOne) {
  EXPECT_EQ(estimate_frames(25, 0, 2'000'000), 50u);
}

TEST(EstimateFrames, UnknownOrNegativeDurationGivesZero) {
  EXPECT_EQ(estimate_frames(25, 1, AV_NOPTS_VALUE), 0u);
  EXPECT_EQ(estimate_frames(25, 1, -1'000'000), 0u);
}

TEST(EstimateFrames, Saturates) {
  constexpr auto max_fps = std::numeric_limits<std::uint32_t>::max();
  EXPECT_EQ(estimate_frames(max_fps, 1, std::numeric_limits<std::int64_t>::max()), max_count);
}

TEST(SaturatingCount, CoversTheWholeRange) {
  EXPECT_EQ(saturating_count(std::nan("")), 0u);
  EXPECT_EQ(saturating_count(-0.5), 0u);
  EXPECT_EQ(saturating_count(-1e300), 0u);
  EXPECT_EQ(saturating_count(0.999), 0u);
  EXPECT_EQ(saturating_count(299.7), 299u);
  EXPECT_EQ(saturating_count(std::ldexp(1.0, 64)), max_count);
  EXPECT_EQ(saturating_count(std::numeric_limits<double>::infinity()), max_count);
  // The largest double below 2^64 still fits.
  EXPECT_EQ(saturating_count(std::nextafter(std::ldexp(1.0, 64), 0.0)), 18446744073709549568u);
}

TEST(CodecNameDebug, QuotesAndEscapes) {
  EXPECT_EQ(codec_name_debug(nullptr), "None");
  EXPECT_EQ(codec_name_debug("h264"), "Some(\"h264\")");
  EXPECT_EQ(codec_name_debug("a\"b\\c"), "Some(\"a\\\"b\\\\c\")");
}

TEST(Packet, StartsEmptyAndMovesItsData) {
  Packet first;
  EXPECT_EQ(first.get()->data, nullptr);
  EXPECT_EQ(first.get()->size, 0);
  EXPECT_EQ(first.get()->pts, AV_NOPTS_VALUE);
  ASSERT_EQ(av_new_packet(first.get(), 100), 0);
  const auto* data = first.get()->data;

  Packet second(std::move(first));
  EXPECT_EQ(second.get()->data, data);
  EXPECT_EQ(first.get()->data, nullptr);  // NOLINT(bugprone-use-after-move): moved-from is empty

  Packet third;
  ASSERT_EQ(av_new_packet(third.get(), 10), 0);
  third = std::move(second);
  EXPECT_EQ(third.get()->data, data);
  EXPECT_EQ(third.get()->size, 100);
}

TEST(OpenVideo, UnknownDurationEstimatesNoFrames) {
  const auto path =
      make_clip("decode_unknown_duration.h264",
                {"-f", "lavfi", "-i", "testsrc2=size=64x48:rate=25", "-frames:v", "10", "-c:v", "libx264"});
  CaptureStderr();
  const auto video = open_video(path);
  EXPECT_EQ(GetCapturedStderr(), "Video: 64x48, 25/1 fps, ~0 frames, codec: Some(\"h264\")\n");
  EXPECT_EQ(video.est_frames, 0u);
}

TEST(OpenVideo, UnsetPixelFormatCannotBeScaled) {
  // With no frame to look at, FFmpeg cannot tell an MJPEG stream's pixel format.
  const auto path =
      make_clip("decode_mjpeg_no_frames.avi",
                {"-f", "lavfi", "-i", "testsrc2=size=64x48:rate=25", "-frames:v", "0", "-c:v", "mjpeg"});
  CaptureStderr();
  const auto chain = error_chain([&] { open_video(path); });
  const auto printed = GetCapturedStderr();
  EXPECT_EQ(chain, (std::vector<std::string>{"Failed to create scaler",
                                             "Invalid data found when processing input"}));
  EXPECT_FALSE(quen::testing::has_line_starting(printed, "Video:"));
}

VideoInput open_quietly(const std::string& path) {
  CaptureStderr();
  auto video = open_video(path);
  GetCapturedStderr();
  return video;
}

// The facts the programs build the ffmpeg program's command lines from.
TEST(OpenVideo, CountsTheVideoStreamsOfTheContainer) {
  EXPECT_EQ(open_quietly(quen::testing::testsrc_clip(64, 48, 5)).video_streams, 1u);
  // Beside audio, which does not count.
  EXPECT_EQ(open_quietly(quen::testing::two_video_streams_clip()).video_streams, 2u);
}

TEST(OpenVideo, StartDelayIsHowLongAfterTheFileTheVideoStarts) {
  // PCM audio starts at 0 exactly; the video a second later, in milliseconds.
  const auto late = make_clip(
      "decode_video_1s_late.mkv",
      {"-itsoffset", "1", "-f", "lavfi", "-i", "testsrc2=size=64x48:rate=25:duration=0.4", "-f", "lavfi",
       "-i", "sine=duration=1.5:sample_rate=8000", "-c:v", "libx264", "-bf", "0", "-c:a", "pcm_s16le"});
  EXPECT_EQ(open_quietly(late).start_delay_us, 1'000'000);
  EXPECT_EQ(open_quietly(quen::testing::testsrc_clip(64, 48, 5)).start_delay_us, 0);
}

TEST(OpenVideo, SampleAspectIsGivenAsDisplayed) {
  const auto wide =
      make_clip("decode_sar_64_45.mp4", {"-f", "lavfi", "-i", "testsrc2=size=64x48:rate=25", "-frames:v", "5",
                                         "-vf", "setsar=64/45", "-c:v", "libx264"});
  const auto turned = rotated_clip(wide, 90);
  const auto unknown =
      make_clip("decode_sar_unknown.mp4", {"-f", "lavfi", "-i", "testsrc2=size=64x48:rate=25", "-frames:v",
                                           "5", "-vf", "setsar=0", "-c:v", "libx264"});
  EXPECT_EQ(open_quietly(wide).sample_aspect, (SampleAspect{64, 45}));
  const auto upright = open_quietly(turned);
  ASSERT_TRUE(swaps_sides(upright.orientation));
  EXPECT_EQ(upright.width, 48u);
  EXPECT_EQ(upright.height, 64u);
  EXPECT_EQ(upright.sample_aspect, (SampleAspect{45, 64}));
  EXPECT_EQ(open_quietly(unknown).sample_aspect, (SampleAspect{0, 1}));
}

TEST(NextVideoPacket, HandsOutOnlyThePreferredStream) {
  const auto path = quen::testing::two_video_streams_clip();
  CaptureStderr();
  auto video = open_video(path);
  GetCapturedStderr();
  ASSERT_EQ(video.stream_index, 1u);
  EXPECT_EQ(video.width, 128u);

  int packets = 0;
  while (auto packet = next_video_packet(video.format_ctx.get(), video.stream_index)) {
    EXPECT_EQ(packet->get()->stream_index, 1);
    EXPECT_GT(packet->get()->size, 0);
    ++packets;
  }
  EXPECT_EQ(packets, 6);
  // The end stays the end.
  EXPECT_FALSE(next_video_packet(video.format_ctx.get(), video.stream_index).has_value());
}

TEST(NextVideoPacket, ReadErrorWithoutEndIsReportedAfterThePackets) {
  quen::testing::TempDir dir("video_input");
  const auto path = quen::testing::read_error_path(dir.path());
  CaptureStderr();
  auto video = open_video(path);
  GetCapturedStderr();

  int packets = 0;
  try {
    while (next_video_packet(video.format_ctx.get(), video.stream_index)) ++packets;
    ADD_FAILURE() << "the read error was taken for the end of the file";
  } catch (const FfmpegError& error) {
    EXPECT_EQ(error.code(), AVERROR(EISDIR));
  }
  EXPECT_EQ(packets, 20);
}

// Video packets until the end of the file, retrying failed reads with
// `allowance`.
int count_video_packets(const std::string& path, int allowance) {
  CaptureStderr();
  auto video = open_video(path);
  int packets = 0;
  while (next_video_packet(video.format_ctx.get(), video.stream_index, allowance)) ++packets;
  GetCapturedStderr();
  return packets;
}

TEST(NextVideoPacket, ReadsOnThroughDamageThatKeepsTheReaderMoving) {
  // The TS demuxer fails once for each 64 KiB of zeros it skips, 16 times in a
  // row here, each time further into the file.
  const auto clip =
      make_clip("decode_mpegts_50.ts", {"-f", "lavfi", "-i", "testsrc2=size=64x48:rate=25", "-frames:v", "50",
                                        "-c:v", "mpeg2video", "-f", "mpegts"});
  const auto bytes = quen::testing::slurp(clip);
  const auto middle = bytes.size() / 2 / 188 * 188;
  quen::testing::TempDir dir("video_input");
  const auto damaged = dir / "zeros_inside.ts";
  std::ofstream(damaged, std::ios::binary)
      << bytes.substr(0, middle) << std::string(std::size_t{1} << 20, '\0') << bytes.substr(middle);

  constexpr int allowance = 4;
  EXPECT_EQ(count_video_packets(clip, allowance), 50);
  EXPECT_EQ(count_video_packets(damaged, allowance), 50);
}

}  // namespace
}  // namespace quenmap
