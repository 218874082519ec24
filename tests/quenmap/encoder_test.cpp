#include "quenmap/encoder.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "common/error.hpp"
#include "cpu_affinity.hpp"

namespace quenmap {
namespace {

// A grey frame as the decoder hands it over: `stride` bytes per row.
struct Frame {
  std::size_t width = 0;
  std::size_t height = 0;
  std::size_t stride = 0;
  std::vector<std::uint8_t> plane;

  std::uint8_t at(std::size_t x, std::size_t y) const { return plane[y * stride + x]; }
};

Frame noise_frame(std::size_t width, std::size_t height, std::size_t stride, std::mt19937_64& rng) {
  std::uniform_int_distribution<int> sample(0, 255);
  Frame frame{width, height, stride, std::vector<std::uint8_t>(stride * height)};
  for (auto& byte : frame.plane) byte = static_cast<std::uint8_t>(sample(rng));
  return frame;
}

// The d-value of block (row, col) between two frames, straight from the
// definition: no kernels, no buffers, only the frames' own samples.
float reference_d_value(const Frame& previous, const Frame& current, std::size_t row, std::size_t col) {
  auto p = [&](std::size_t y, std::size_t x) { return double(previous.at(col * 8 + x, row * 8 + y)); };
  auto c = [&](std::size_t y, std::size_t x) { return double(current.at(col * 8 + x, row * 8 + y)); };
  double sum = 0.0;
  for (std::size_t i = 0; i < 8; ++i) {
    for (std::size_t j = 0; j < 8; ++j) {
      double pc = 0.0, cp = 0.0;
      for (std::size_t k = 0; k < 8; ++k) {
        pc += p(i, k) * c(k, j);
        cp += c(i, k) * p(k, j);
      }
      sum += (pc - cp) * (pc - cp);
    }
  }
  return static_cast<float>(std::sqrt(sum));
}

std::vector<float> reference_history(const std::vector<Frame>& frames) {
  std::vector<float> history;
  for (std::size_t f = 1; f < frames.size(); ++f)
    for (std::size_t row = 0; row < frames[f].height / 8; ++row)
      for (std::size_t col = 0; col < frames[f].width / 8; ++col)
        history.push_back(reference_d_value(frames[f - 1], frames[f], row, col));
  return history;
}

std::vector<float> analyse(const std::vector<Frame>& frames) {
  const Frame& first = frames.front();
  QuenMapEncoder encoder(static_cast<std::uint16_t>(first.width), static_cast<std::uint16_t>(first.height),
                         25, 1);
  for (const Frame& frame : frames) encoder.process_frame(frame.plane, frame.stride);
  return {encoder.d_history().begin(), encoder.d_history().end()};
}

// Neither size is a multiple of 8 and the stride has padding, all of it noise.
std::vector<Frame> noisy_clip(std::size_t count) {
  std::mt19937_64 rng(42);
  std::vector<Frame> frames;
  for (std::size_t i = 0; i < count; ++i) frames.push_back(noise_frame(203, 101, 224, rng));
  return frames;
}

class EncoderWorkers : public ::testing::TestWithParam<std::size_t> {};

TEST_P(EncoderWorkers, HistoryMatchesTheDefinitionWhateverTheWorkerCount) {
  const auto frames = noisy_clip(4);
  const auto expected = reference_history(frames);
  ASSERT_EQ(expected.size(), 3u * 25 * 12);
  testing::ScopedAffinity affinity(GetParam());
  const auto history = analyse(frames);
  ASSERT_EQ(history.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) ASSERT_EQ(history[i], expected[i]) << "value " << i;
}

INSTANTIATE_TEST_SUITE_P(CpuMasks, EncoderWorkers, ::testing::Values(1, 3, 1024),
                         [](const auto& info) { return "cpus_" + std::to_string(info.param); });

TEST(Encoder, SamplesOutsideTheBlocksNeverCount) {
  auto frames = noisy_clip(3);
  const auto before = analyse(frames);
  std::mt19937_64 rng(1);
  for (Frame& frame : frames) {
    // Columns 200..202, rows 96..100 and the padding to the stride.
    for (std::size_t y = 0; y < frame.height; ++y)
      for (std::size_t x = 0; x < frame.stride; ++x)
        if (x >= 200 || y >= 96) frame.plane[y * frame.stride + x] = static_cast<std::uint8_t>(rng());
  }
  EXPECT_EQ(analyse(frames), before);
}

TEST(Encoder, AppendsOneValuePerBlockFromTheSecondFrameOn) {
  const auto frames = noisy_clip(5);
  QuenMapEncoder encoder(203, 101, 25, 1);
  const std::size_t n = std::size_t{encoder.blocks_w()} * encoder.blocks_h();
  ASSERT_EQ(n, 300u);
  for (std::size_t calls = 1; calls <= frames.size(); ++calls) {
    encoder.process_frame(frames[calls - 1].plane, frames[calls - 1].stride);
    EXPECT_EQ(encoder.d_history().size(), (calls - 1) * n) << calls << " calls";
  }
}

TEST(Encoder, ReservingIsOnlyAHint) {
  const auto frames = noisy_clip(4);
  QuenMapEncoder reserved(203, 101, 25, 1);
  reserved.reserve_frames(4);
  EXPECT_GE(reserved.d_history().capacity(), 3u * 300u);
  // A count no memory could hold is capped rather than failing the run.
  reserved.reserve_frames(std::size_t{1} << 40);
  EXPECT_LE(reserved.d_history().capacity() * sizeof(float), std::size_t{1} << 30);
  for (const auto& frame : frames) reserved.process_frame(frame.plane, frame.stride);
  EXPECT_EQ(std::vector<float>(reserved.d_history().begin(), reserved.d_history().end()), analyse(frames));
}

TEST(Encoder, IdenticalOrBlackFramesGiveZeros) {
  std::mt19937_64 rng(8);
  const Frame frame = noise_frame(64, 48, 64, rng);
  const Frame black{64, 48, 64, std::vector<std::uint8_t>(64 * 48, 0)};
  for (const auto& pair : {std::vector<Frame>{frame, frame}, std::vector<Frame>{frame, black}}) {
    const auto history = analyse(pair);
    ASSERT_EQ(history.size(), 48u);
    for (float value : history) EXPECT_EQ(value, 0.0f);
  }
}

// The current frame's buffer is reused; rows that a short plane does not
// reach must be zero, not what an earlier frame left there.
TEST(Encoder, ShortPlaneReadsAsZerosAfterFullFrames) {
  std::mt19937_64 rng(21);
  std::vector<Frame> frames;
  for (int i = 0; i < 3; ++i) frames.push_back(noise_frame(64, 64, 64, rng));
  Frame cut = noise_frame(64, 64, 64, rng);
  cut.plane.resize(64 * 40 + 20);  // rows 40..63 missing, row 40 partly
  Frame as_zeros = cut;
  as_zeros.plane.resize(64 * 64, 0);
  frames.push_back(cut);
  auto references = frames;
  references.back() = as_zeros;
  EXPECT_EQ(analyse(frames), reference_history(references));
}

TEST(Encoder, ConstructorPrintsItsLine) {
  ::testing::internal::CaptureStderr();
  QuenMapEncoder encoder(1920, 1080, 30000, 1001);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(),
            "QuenMapEncoder: 1920x1080 -> 240x135 blocks (8x8), 30000/1001fps\n");
  EXPECT_EQ(encoder.blocks_w(), 240);
  EXPECT_EQ(encoder.blocks_h(), 135);
  EXPECT_TRUE(encoder.d_history().empty());
}

TEST(Encoder, PartialBlocksAreDropped) {
  ::testing::internal::CaptureStderr();
  QuenMapEncoder encoder(1927, 1087, 25, 1);
  ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(encoder.blocks_w(), 240);
  EXPECT_EQ(encoder.blocks_h(), 135);
}

void expect_refused(std::uint32_t width, std::uint32_t height, const std::string& message) {
  try {
    check_frame_size(width, height);
    ADD_FAILURE() << width << "x" << height << " was accepted";
  } catch (const quen::Error& error) {
    EXPECT_EQ(error.what(), message);
  }
}

TEST(CheckFrameSize, RefusesSizesWithoutBlocksOrBeyondSixteenBits) {
  expect_refused(6, 100, "Video too small to analyse: 6x100 (needs at least 8x8 pixels)");
  expect_refused(7, 100, "Video too small to analyse: 7x100 (needs at least 8x8 pixels)");
  expect_refused(100, 7, "Video too small to analyse: 100x7 (needs at least 8x8 pixels)");
  expect_refused(0, 0, "Video too small to analyse: 0x0 (needs at least 8x8 pixels)");
  expect_refused(65536, 100, "Video too large to analyse: 65536x100 (at most 65535 pixels per side)");
  expect_refused(70000, 100, "Video too large to analyse: 70000x100 (at most 65535 pixels per side)");
  expect_refused(100, 65536, "Video too large to analyse: 100x65536 (at most 65535 pixels per side)");
}

TEST(CheckFrameSize, AcceptsEverySizeWithABlock) {
  EXPECT_NO_THROW(check_frame_size(8, 8));
  EXPECT_NO_THROW(check_frame_size(1920, 1080));
  EXPECT_NO_THROW(check_frame_size(65535, 65535));
}

}  // namespace
}  // namespace quenmap
