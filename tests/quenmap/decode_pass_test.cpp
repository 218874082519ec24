#include "quenmap/decode_pass.hpp"

#include "common/error.hpp"

#include "clips.hpp"
#include "decode_test_support.hpp"
#include "temp_dir.hpp"

#include <fmt/format.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fstream>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace quenmap {
namespace {

using quen::testing::has_line_starting;
using quen::testing::make_clip;
using quen::testing::rotated_clip;
using quen::testing::slurp;
using quen::testing::TempDir;
using ::testing::internal::CaptureStderr;
using ::testing::internal::GetCapturedStderr;

// What one pass did: its result or its error, and what it printed.
struct PassOutcome {
  std::optional<DecodeResult> result;
  std::vector<std::string> chain;
  std::string report;
  std::string printed;
};

PassOutcome run_pass(const std::string& path) {
  PassOutcome outcome;
  CaptureStderr();
  try {
    outcome.result = pass1_decode(path);
  } catch (const std::exception& error) {
    quen::testing::collect_chain(error, outcome.chain);
    outcome.report = quen::error_report(error);
  }
  outcome.printed = GetCapturedStderr();
  return outcome;
}

void write_file(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// The d-values of one frame pair, computed the plain way: for every whole 8x8
// block, the Frobenius norm of P*C - C*P over the raw samples.
std::vector<float> reference_d_values(const unsigned char* previous, const unsigned char* current, int width,
                                      int height) {
  std::vector<float> values;
  for (int row = 0; row < height / 8; ++row) {
    for (int col = 0; col < width / 8; ++col) {
      const auto sample = [&](const unsigned char* frame, int y, int x) {
        return static_cast<double>(frame[(row * 8 + y) * width + col * 8 + x]);
      };
      double sum = 0.0;
      for (int i = 0; i < 8; ++i) {
        for (int j = 0; j < 8; ++j) {
          double pc = 0.0;
          double cp = 0.0;
          for (int k = 0; k < 8; ++k) {
            pc += sample(previous, i, k) * sample(current, k, j);
            cp += sample(current, i, k) * sample(previous, k, j);
          }
          sum += (pc - cp) * (pc - cp);
        }
      }
      values.push_back(static_cast<float>(std::sqrt(sum)));
    }
  }
  return values;
}

// The d-values of a whole video given as packed grey frames.
std::vector<float> reference_history(const std::string& frames, int width, int height) {
  const auto frame_size = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
  std::vector<float> history;
  for (std::size_t at = frame_size; at + frame_size <= frames.size(); at += frame_size) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(frames.data());
    const auto pair = reference_d_values(bytes + at - frame_size, bytes + at, width, height);
    history.insert(history.end(), pair.begin(), pair.end());
  }
  return history;
}

TEST(Pass1Decode, MissingInputReportsTheOpenChain) {
  const std::string path = "/nonexistent/decode_pass_test/missing.mp4";
  const auto outcome = run_pass(path);
  EXPECT_FALSE(outcome.result.has_value());
  EXPECT_EQ(outcome.chain,
            (std::vector<std::string>{"open input", "Cannot open: " + path, std::strerror(ENOENT)}));
  EXPECT_EQ(outcome.report, fmt::format("open input\n\nCaused by:\n    0: Cannot open: {}\n    1: {}", path,
                                        std::strerror(ENOENT)));
  EXPECT_FALSE(has_line_starting(outcome.printed, "Video:"));
  EXPECT_FALSE(has_line_starting(outcome.printed, "QuenMapEncoder"));
}

TEST(Pass1Decode, AudioOnlyFileHasNoVideoStream) {
  const auto path = make_clip("decode_audio_only.wav", {"-f", "lavfi", "-i", "sine=duration=1"});
  const auto outcome = run_pass(path);
  EXPECT_EQ(outcome.chain, (std::vector<std::string>{"open input", "No video stream found"}));
  EXPECT_EQ(outcome.report, "open input\n\nCaused by:\n    No video stream found");
  EXPECT_FALSE(has_line_starting(outcome.printed, "Video:"));
}

TEST(Pass1Decode, FilesThatAreNoVideoFailToOpen) {
  TempDir dir("decode_pass");
  std::mt19937 random(20240611);
  std::string noise(8192, '\0');
  std::generate(noise.begin(), noise.end(), [&] { return static_cast<char>(random()); });
  write_file(dir / "noise.mp4", noise);
  write_file(dir / "notes.txt", "These are notes, not a video.\nSecond line.\n");
  write_file(dir / "empty.mkv", "");

  for (const auto* name : {"noise.mp4", "notes.txt", "empty.mkv"}) {
    const auto outcome = run_pass((dir / name).string());
    EXPECT_FALSE(outcome.result.has_value()) << name;
    ASSERT_GE(outcome.chain.size(), 2u) << name;
    EXPECT_EQ(outcome.chain.front(), "open input") << name;
    EXPECT_FALSE(has_line_starting(outcome.printed, "Video:")) << name;
  }
}

TEST(Pass1Decode, PrintsBothLinesAndAnalysesEveryFrame) {
  const auto outcome = run_pass(quen::testing::ntsc_10s_clip());
  ASSERT_TRUE(outcome.result.has_value()) << outcome.report;
  // The estimate of 299.7 frames is truncated, not rounded.
  EXPECT_EQ(outcome.printed,
            "Video: 1920x1080, 30000/1001 fps, ~299 frames, codec: Some(\"h264\")\n"
            "QuenMapEncoder: 1920x1080 -> 240x135 blocks (8x8), 30000/1001fps\n");
  const auto& [video, encoder, decoded_frames] = *outcome.result;
  EXPECT_EQ(decoded_frames, 299u);
  EXPECT_EQ(encoder->blocks_w(), 240);
  EXPECT_EQ(encoder->blocks_h(), 135);
  EXPECT_EQ(encoder->d_history().size(), 298u * 240u * 135u);

  EXPECT_EQ(video.width, 1920u);
  EXPECT_EQ(video.height, 1080u);
  EXPECT_EQ(video.fps_num, 30000u);
  EXPECT_EQ(video.fps_den, 1001u);
  EXPECT_EQ(video.est_frames, 299u);
  EXPECT_EQ(video.stream_index, 0u);
  EXPECT_EQ(video.scaler.input, (PictureDefinition{AV_PIX_FMT_YUV420P, 1920, 1080}));
  EXPECT_EQ(video.scaler.output, (PictureDefinition{AV_PIX_FMT_GRAY8, 1920, 1080}));
}

TEST(Pass1Decode, FramesHeldBackByTheDecoderAreAnalysedToo) {
  const auto path = make_clip("decode_bframes.mp4", {"-f", "lavfi", "-i", "testsrc2=size=64x48:rate=25",
                                                     "-frames:v", "30", "-c:v", "libx264", "-bf", "3"});
  const auto outcome = run_pass(path);
  ASSERT_TRUE(outcome.result.has_value()) << outcome.report;
  EXPECT_EQ(outcome.result->decoded_frames, 30u);
  EXPECT_EQ(outcome.result->encoder->d_history().size(), 29u * 8u * 6u);
}

TEST(Pass1Decode, OneFrameGivesNoDValues) {
  const auto outcome = run_pass(quen::testing::testsrc_clip(64, 48, 1).string());
  ASSERT_TRUE(outcome.result.has_value()) << outcome.report;
  EXPECT_EQ(outcome.result->decoded_frames, 1u);
  EXPECT_TRUE(outcome.result->encoder->d_history().empty());
}

TEST(Pass1Decode, StreamWithoutPacketsSucceedsWithNoFrames) {
  const auto path =
      make_clip("decode_no_frames.avi", {"-f", "lavfi", "-i", "testsrc2=size=64x48:rate=25", "-frames:v", "0",
                                         "-c:v", "rawvideo", "-pix_fmt", "yuv420p"});
  const auto outcome = run_pass(path);
  ASSERT_TRUE(outcome.result.has_value()) << outcome.report;
  EXPECT_EQ(outcome.result->decoded_frames, 0u);
  EXPECT_TRUE(outcome.result->encoder->d_history().empty());
  EXPECT_EQ(outcome.printed,
            "Video: 64x48, 25/1 fps, ~0 frames, codec: Some(\"rawvideo\")\n"
            "QuenMapEncoder: 64x48 -> 8x6 blocks (8x8), 25/1fps\n");
}

TEST(Pass1Decode, OnlyThePreferredVideoStreamIsDecoded) {
  const auto path = quen::testing::two_video_streams_clip();
  const auto outcome = run_pass(path);
  ASSERT_TRUE(outcome.result.has_value()) << outcome.report;
  const auto& encoder = *outcome.result->encoder;
  EXPECT_EQ(encoder.blocks_w(), 16);
  EXPECT_EQ(encoder.blocks_h(), 12);
  EXPECT_EQ(outcome.result->decoded_frames, 6u);
  EXPECT_EQ(encoder.d_history().size(), 5u * 16u * 12u);
}

TEST(Pass1Decode, FrameSizeChangeInTheMiddleFails) {
  // Two elementary streams one after the other; the first is long enough that
  // probing sees only its size.
  const auto first = make_clip("decode_part_64x48.h264", {"-f", "lavfi", "-i", "testsrc2=size=64x48:rate=25",
                                                          "-frames:v", "250", "-c:v", "libx264", "-bf", "0"});
  const auto second = make_clip("decode_part_96x64.h264", {"-f", "lavfi", "-i", "testsrc2=size=96x64:rate=25",
                                                           "-frames:v", "5", "-c:v", "libx264", "-bf", "0"});
  TempDir dir("decode_pass");
  write_file(dir / "joined.h264", slurp(first) + slurp(second));

  const auto outcome = run_pass((dir / "joined.h264").string());
  EXPECT_FALSE(outcome.result.has_value());
  EXPECT_EQ(outcome.chain, (std::vector<std::string>{"Pass 1 decode", "Input changed"}));
  EXPECT_TRUE(has_line_starting(outcome.printed, "QuenMapEncoder: 64x48"));
}

TEST(Pass1Decode, DamagedFilesNeverCrash) {
  // The MP4 has its index first, so that a cut leaves the index whole and
  // the decoder meets the missing samples.
  const std::vector<std::string> source{"-f",        "lavfi",     "-i",   "testsrc2=size=96x64:rate=25",
                                        "-frames:v", "20",        "-c:v", "libx264",
                                        "-movflags", "+faststart"};
  const auto mp4 = slurp(make_clip("decode_damage_source.mp4", source));
  const auto h264 = slurp(make_clip("decode_damage_source.h264", source));
  ASSERT_FALSE(mp4.empty());
  ASSERT_FALSE(h264.empty());
  TempDir dir("decode_pass");
  std::mt19937 random(7);
  std::vector<std::filesystem::path> damaged;
  for (const auto& [source, ext] : {std::pair{&mp4, ".mp4"}, std::pair{&h264, ".h264"}}) {
    for (const auto cut :
         {source->size() / 4, source->size() / 2, source->size() * 3 / 4, source->size() - 1}) {
      damaged.push_back(dir / fmt::format("cut_{}{}", cut, ext));
      write_file(damaged.back(), source->substr(0, cut));
    }
    for (int variant = 0; variant < 4; ++variant) {
      auto bytes = *source;
      for (int hit = 0; hit < 40; ++hit) bytes[random() % bytes.size()] = static_cast<char>(random());
      damaged.push_back(dir / fmt::format("noise_{}{}", variant, ext));
      write_file(damaged.back(), bytes);
    }
  }

  for (const auto& path : damaged) {
    const auto outcome = run_pass(path.string());
    if (outcome.result) {
      EXPECT_LE(outcome.result->decoded_frames, 40u) << path;
    } else {
      ASSERT_GE(outcome.chain.size(), 2u) << path;
      EXPECT_TRUE(outcome.chain.front() == "open input" || outcome.chain.front() == "Pass 1 decode") << path;
    }
  }
}

TEST(Pass1Decode, ReadErrorWithoutEndFailsInsteadOfHanging) {
  TempDir dir("decode_pass");
  const std::string is_a_directory = std::strerror(EISDIR);
  const auto outcome = run_pass(quen::testing::read_error_path(dir.path()));
  EXPECT_FALSE(outcome.result.has_value());
  EXPECT_EQ(outcome.chain, (std::vector<std::string>{"Pass 1 decode", is_a_directory}));
  EXPECT_TRUE(has_line_starting(outcome.printed, "QuenMapEncoder: 64x48"));
}

TEST(Pass1Decode, DValuesEqualAPlainComputationOnTheGreyFrames) {
  // A grey video in a lossless codec: the decoder hands out exactly the frames
  // that went in, so the raw frames are the reference, with no colour
  // conversion in between. 70x42 leaves partial blocks at the right and bottom.
  const auto raw =
      make_clip("decode_grey_70x42.gray", {"-f", "lavfi", "-i", "testsrc2=size=70x42:rate=25", "-frames:v",
                                           "6", "-pix_fmt", "gray", "-f", "rawvideo"});
  const auto clip =
      make_clip("decode_grey_70x42.nut", {"-f", "rawvideo", "-pix_fmt", "gray", "-video_size", "70x42",
                                          "-framerate", "25", "-i", raw.string(), "-c:v", "ffv1"});
  const auto expected = reference_history(slurp(raw), 70, 42);
  ASSERT_EQ(expected.size(), 5u * 8u * 5u);
  ASSERT_TRUE(std::any_of(expected.begin(), expected.end(), [](float d) { return d > 0.0f; }));

  const auto outcome = run_pass(clip.string());
  ASSERT_TRUE(outcome.result.has_value()) << outcome.report;
  EXPECT_EQ(outcome.result->decoded_frames, 6u);
  EXPECT_THAT(outcome.result->encoder->d_history(), ::testing::ElementsAreArray(expected));
}

TEST(Pass1Decode, ColourVideoIsAnalysedOnFfmpegsGreyConversion) {
  // A YUV 4:2:0 video: the grey frames are the scaler's conversion of the
  // luma plane (with its range expanded to full grey). The ffmpeg program
  // converts with the same swscale at the same size, so its grey output is
  // the reference.
  const auto clip =
      make_clip("decode_yuv_70x42.mp4", {"-f", "lavfi", "-i", "testsrc2=size=70x42:rate=25", "-frames:v", "6",
                                         "-pix_fmt", "yuv420p", "-c:v", "libx264"});
  const auto raw = make_clip("decode_yuv_70x42.gray", {"-i", clip.string(), "-sws_flags", "bilinear",
                                                       "-pix_fmt", "gray", "-f", "rawvideo"});
  const auto expected = reference_history(slurp(raw), 70, 42);
  ASSERT_EQ(expected.size(), 5u * 8u * 5u);

  const auto outcome = run_pass(clip.string());
  ASSERT_TRUE(outcome.result.has_value()) << outcome.report;
  EXPECT_THAT(outcome.result->encoder->d_history(), ::testing::ElementsAreArray(expected));
}

TEST(Pass1Decode, TurnedVideoIsAnalysedAsTheFfmpegProgramHandsItOn) {
  // A phone-style clip: the frames stored as they are, the turn in the
  // container. The reference is the ffmpeg program's own output of that clip,
  // turned upright and stored losslessly: the frames the encoder would get.
  // 70x42 leaves partial blocks, so turning the d-values after the analysis
  // instead of the frames before it would not pass.
  const auto stored =
      make_clip("decode_turn_source_70x42.mp4", {"-f", "lavfi", "-i", "testsrc2=size=70x42:rate=25",
                                                 "-frames:v", "6", "-c:v", "libx264", "-pix_fmt", "yuv420p"});
  for (const int degrees : {90, 180, 270}) {
    const auto turned = rotated_clip(stored, degrees);
    const auto upright =
        make_clip(turned.stem().string() + "_upright.nut", {"-i", turned.string(), "-c:v", "ffv1"});

    const auto outcome = run_pass(turned.string());
    const auto reference = run_pass(upright.string());
    ASSERT_TRUE(outcome.result.has_value()) << outcome.report;
    ASSERT_TRUE(reference.result.has_value()) << reference.report;
    const auto& video = outcome.result->video;
    EXPECT_TRUE(turns_frames(video.orientation)) << degrees;
    EXPECT_EQ(reference.result->video.orientation, DisplayOrientation::identity) << degrees;
    EXPECT_EQ(video.scaler.input.width, 70u) << degrees;
    EXPECT_EQ(video.scaler.input.height, 42u) << degrees;
    const auto size = swaps_sides(video.orientation) ? "42x70" : "70x42";
    EXPECT_TRUE(has_line_starting(outcome.printed, fmt::format("Video: {},", size))) << outcome.printed;
    EXPECT_TRUE(has_line_starting(outcome.printed, fmt::format("QuenMapEncoder: {} ", size)))
        << outcome.printed;
    EXPECT_EQ(video.width, reference.result->video.width) << degrees;
    EXPECT_EQ(video.height, reference.result->video.height) << degrees;
    EXPECT_EQ(outcome.result->decoded_frames, 6u) << degrees;
    EXPECT_THAT(outcome.result->encoder->d_history(),
                ::testing::ElementsAreArray(reference.result->encoder->d_history()))
        << degrees;
  }
}

TEST(Pass1Decode, TooSmallVideoIsRefusedBeforeTheAnalysis) {
  const auto path = make_clip("decode_6x6.nut", {"-f", "lavfi", "-i", "testsrc2=size=6x6:rate=25",
                                                 "-frames:v", "3", "-pix_fmt", "gray", "-c:v", "ffv1"});
  const auto outcome = run_pass(path.string());
  EXPECT_FALSE(outcome.result.has_value());
  ASSERT_EQ(outcome.chain.size(), 2u) << outcome.report;
  EXPECT_EQ(outcome.chain[0], "Pass 1 decode");
  EXPECT_TRUE(contains(outcome.chain[1], "6x6")) << outcome.chain[1];
  EXPECT_TRUE(has_line_starting(outcome.printed, "Video: 6x6"));
  EXPECT_FALSE(has_line_starting(outcome.printed, "QuenMapEncoder"));
}

}  // namespace
}  // namespace quenmap
