// Hostile inputs: damaged, truncated, strange or unreadable files given to
// the built mapgen. Each run must end in status 0 with a well-formed map, or
// status 1 with an "Error:" report and no map file; never a signal or a hang.

#include "clips.hpp"
#include "run_program.hpp"
#include "temp_dir.hpp"

#include <fmt/format.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>

// GCC tells of AddressSanitizer by __SANITIZE_ADDRESS__, clang by __has_feature.
#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QUEN_ASAN_BY_FEATURE 1
#endif
#endif
#ifndef QUEN_ASAN_BY_FEATURE
#define QUEN_ASAN_BY_FEATURE 0
#endif

namespace quen::testing {
namespace {

const std::string mapgen = MAPGEN_PATH;

void write_bytes(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

// Every line: its pair number, then the same number of offsets.
void expect_well_formed_map(const std::string& map) {
  std::istringstream lines(map);
  std::string line;
  std::size_t expected_offsets = 0;
  for (std::uint32_t n = 0; std::getline(lines, line); ++n) {
    std::istringstream words(line);
    std::string word;
    words >> word;
    ASSERT_EQ(word, std::to_string(n));
    std::size_t offsets = 0;
    while (words >> word) ++offsets;
    if (n == 0) expected_offsets = offsets;
    ASSERT_GT(offsets, 0u);
    ASSERT_EQ(offsets, expected_offsets) << "line " << n;
  }
  ASSERT_FALSE(map.empty());
  ASSERT_EQ(map.back(), '\n');
}

class CorruptInput : public ::testing::Test {
 protected:
  // Runs mapgen on `input` and checks the outcome is one of the two allowed.
  ProgramResult expect_clean_outcome(const std::filesystem::path& input, const RunOptions& extra = {}) {
    RunOptions options = extra;
    options.cwd = dir_.path();
    options.time_limit = std::chrono::seconds(60);
    auto argv = options.env.count("AS_NOBODY")
                    ? std::vector<std::string>{"/usr/bin/setpriv", "--reuid=65534", "--regid=65534",
                                               "--clear-groups", mapgen}
                    : std::vector<std::string>{mapgen};
    options.env.erase("AS_NOBODY");
    argv.insert(argv.end(), {input.string(), "-o", "map.txt"});
    auto result = run_program(argv, options);
    EXPECT_FALSE(result.timed_out) << "hang on " << input;
    EXPECT_EQ(result.signal, 0) << "signal on " << input << "\n" << result.err;
    EXPECT_EQ(result.out, "");
    last_map_.clear();
    if (result.exit_code == 0) {
      last_map_ = slurp(dir_ / "map.txt");
      expect_well_formed_map(last_map_);
    } else {
      EXPECT_EQ(result.exit_code, 1) << result.err;
      EXPECT_NE(result.err.find("Error: "), std::string::npos) << result.err;
      EXPECT_FALSE(std::filesystem::exists(dir_ / "map.txt")) << "partial map left for " << input;
    }
    std::filesystem::remove(dir_ / "map.txt");
    return result;
  }

  static std::string clip_bytes() {
    return slurp(make_clip("robust_320x240.mp4",
                           {"-f", "lavfi", "-i", "testsrc2=size=320x240:rate=25", "-f", "lavfi", "-i",
                            "sine=frequency=300", "-t", "1", "-c:v", "libx264", "-bf", "2", "-c:a", "aac"}));
  }

  TempDir dir_{"corrupt"};
  // The map of the last run that succeeded.
  std::string last_map_;
};

TEST_F(CorruptInput, EmptyAndRandomFiles) {
  write_bytes(dir_ / "empty.mp4", "");
  EXPECT_EQ(expect_clean_outcome(dir_ / "empty.mp4").exit_code, 1);

  std::mt19937 random(7);
  for (const std::size_t size : {1u, 100u, 5000u, 200000u}) {
    std::string bytes(size, '\0');
    for (auto& b : bytes) b = static_cast<char>(random());
    const auto path = dir_ / fmt::format("random_{}.bin", size);
    write_bytes(path, bytes);
    expect_clean_outcome(path);
  }
}

TEST_F(CorruptInput, TruncatedClips) {
  const auto bytes = clip_bytes();
  for (const double fraction : {0.001, 0.05, 0.3, 0.6, 0.95}) {
    const auto path = dir_ / fmt::format("cut_{}.mp4", fraction);
    write_bytes(path, bytes.substr(0, static_cast<std::size_t>(bytes.size() * fraction)));
    expect_clean_outcome(path);
  }
}

TEST_F(CorruptInput, BitFlipsInHeadersAndPayload) {
  const auto bytes = clip_bytes();
  std::mt19937 random(11);
  for (int round = 0; round < 24; ++round) {
    std::string damaged = bytes;
    // Half the rounds hit the first kilobytes (container and codec headers),
    // half anywhere in the payload.
    const std::size_t span = round % 2 == 0 ? std::min<std::size_t>(4096, bytes.size()) : bytes.size();
    for (int flip = 0; flip < 1 + round; ++flip) {
      const auto at = std::uniform_int_distribution<std::size_t>(0, span - 1)(random);
      damaged[at] = static_cast<char>(damaged[at] ^ (1 << (random() % 8)));
    }
    const auto path = dir_ / fmt::format("flip_{}.mp4", round);
    write_bytes(path, damaged);
    expect_clean_outcome(path);
  }
}

TEST_F(CorruptInput, HeadersClaimingHugeOrTinyFrames) {
  const std::vector<std::pair<std::string, std::string>> headers{
      {"huge", "YUV4MPEG2 W60000 H60000 F25:1 Cmono\nFRAME\n" + std::string(1000, '\x10')},
      {"wide", "YUV4MPEG2 W70000 H16 F25:1 Cmono\nFRAME\n" + std::string(1000, '\x10')},
      {"tiny",
       "YUV4MPEG2 W4 H4 F25:1 Cmono\nFRAME\n" + std::string(16, '\x10') + "FRAME\n" + std::string(16, 'x')},
  };
  for (const auto& [name, text] : headers) {
    SCOPED_TRACE(name);
    write_bytes(dir_ / (name + ".y4m"), text);
    expect_clean_outcome(dir_ / (name + ".y4m"));
  }
}

TEST_F(CorruptInput, ADamagedFrameMarkerEndsTheVideoBeforeIt) {
  auto bytes = slurp(make_clip("robust_64x48_300.y4m", {"-f", "lavfi", "-i", "testsrc2=size=64x48:rate=25",
                                                        "-frames:v", "300", "-pix_fmt", "yuv420p"}));
  std::size_t marker = bytes.find("FRAME");
  for (int frame = 1; frame <= 100 && marker != std::string::npos; ++frame) {
    marker = bytes.find("FRAME", marker + 1);
  }
  ASSERT_NE(marker, std::string::npos);
  // The demuxer then skips at most a few dozen bytes per failed read, some
  // ten thousand failures in a row, before it reaches the end of the file.
  bytes[marker + 2] = 'X';
  write_bytes(dir_ / "bad_marker.y4m", bytes);

  const auto result = expect_clean_outcome(dir_ / "bad_marker.y4m");
  EXPECT_EQ(result.exit_code, 0) << result.err;
  EXPECT_THAT(result.err, ::testing::HasSubstr("\n[Pass 1] 100 decoded frames, 99 d-value frame-pairs,"));
  EXPECT_EQ(std::count(last_map_.begin(), last_map_.end(), '\n'), 99);
}

TEST_F(CorruptInput, ADirectoryIsNoVideo) {
  std::filesystem::create_directory(dir_ / "folder.mp4");
  EXPECT_EQ(expect_clean_outcome(dir_ / "folder.mp4").exit_code, 1);
}

TEST_F(CorruptInput, AFifoWhoseWriterSendsHalfAClipAndCloses) {
  const auto bytes = clip_bytes();
  const auto fifo = dir_ / "half.mp4";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  std::thread writer([&] {
    std::ofstream out(fifo, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size() / 2));
  });
  expect_clean_outcome(fifo);
  writer.join();
}

TEST_F(CorruptInput, AnUnreadableFile) {
  if (access("/usr/bin/setpriv", X_OK) != 0) GTEST_SKIP() << "setpriv is needed to run as another user";
  const auto path = dir_ / "locked.mp4";
  write_bytes(path, clip_bytes());
  std::filesystem::permissions(path, std::filesystem::perms::none);
  // The folder must let the other user in and write the map there.
  std::filesystem::permissions(dir_.path(), std::filesystem::perms::all);
  const auto result = expect_clean_outcome(path, {.env = {{"AS_NOBODY", "1"}}});
  EXPECT_EQ(result.exit_code, 1);
  EXPECT_NE(result.err.find(std::strerror(EACCES)), std::string::npos) << result.err;
}

TEST_F(CorruptInput, AMapThatCannotBeCreatedLeavesNothingBehind) {
  if (access("/usr/bin/setpriv", X_OK) != 0) GTEST_SKIP() << "setpriv is needed to run as another user";
  write_bytes(dir_ / "clip.mp4", clip_bytes());
  std::filesystem::permissions(dir_.path(),
                               std::filesystem::perms::owner_all | std::filesystem::perms::group_read |
                                   std::filesystem::perms::group_exec | std::filesystem::perms::others_read |
                                   std::filesystem::perms::others_exec);
  std::filesystem::permissions(dir_ / "clip.mp4", std::filesystem::perms::all);
  // Another user may read the video but not write beside it.
  const auto result = run_program({"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups",
                                   mapgen, (dir_ / "clip.mp4").string(), "-o", (dir_ / "map.txt").string()});
  EXPECT_EQ(result.exit_code, 1);
  EXPECT_THAT(result.err, ::testing::EndsWith(fmt::format("Error: create output\n\nCaused by:\n    {}\n",
                                                          std::strerror(EACCES))));
  EXPECT_FALSE(std::filesystem::exists(dir_ / "map.txt"));
}

TEST_F(CorruptInput, AFrameBeyondTheMemoryLimitIsReportedAsOutOfMemory) {
#if defined(__SANITIZE_ADDRESS__) || QUEN_ASAN_BY_FEATURE
  // AddressSanitizer reserves terabytes of address space for its shadow
  // memory, so no address-space limit lets the program even start.
  GTEST_SKIP() << "an address-space limit cannot work under AddressSanitizer";
#endif
  if (access("/usr/bin/prlimit", X_OK) != 0) GTEST_SKIP() << "prlimit is needed to limit the address space";
  // The program loads its libraries and opens this clip within some 265 MiB
  // of address space; the pass's first frame buffer, 8192x8192 doubles,
  // takes 512 MiB more. A 512 MiB limit leaves some 250 MiB to spare at the
  // start and falls short of the buffer by as much.
  const auto clip =
      make_clip("robust_8192x8192.avi", {"-f", "lavfi", "-i", "color=c=gray:size=8192x8192:rate=25",
                                         "-frames:v", "2", "-c:v", "mjpeg", "-pix_fmt", "yuvj420p"});
  const auto result = run_program(
      {"/usr/bin/prlimit", "--as=536870912", mapgen, clip.string(), "-o", "map.txt"}, {.cwd = dir_.path()});
  EXPECT_EQ(result.exit_code, 1) << result.err;
  EXPECT_THAT(result.err, ::testing::EndsWith("Error: Pass 1 decode\n\nCaused by:\n    out of memory\n"));
  EXPECT_FALSE(std::filesystem::exists(dir_ / "map.txt"));
}

}  // namespace
}  // namespace quen::testing
