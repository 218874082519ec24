// encpipe under damaged inputs and misbehaving children: every run ends with
// status 0 and an MP4, or status 1 and an "Error:" report; never a signal or
// a hang.

#include "clips.hpp"
#include "run_program.hpp"
#include "temp_dir.hpp"

#include <fmt/format.h>
#include <gtest/gtest.h>

#include <fstream>
#include <random>

namespace quen::testing {
namespace {

const std::string encpipe = ENCPIPE_PATH;
const std::string tools = QUEN_TOOLS_DIR;

class EncpipeFaults : public ::testing::Test {
 protected:
  ProgramResult run(const std::filesystem::path& input,
                    std::map<std::string, std::optional<std::string>> env = {}) {
    env["TMPDIR"] = dir_.path().string();
    env["QUEN_RECORD_DIR"] = dir_.path().string();
    auto result = run_program({encpipe, input.string(), "-o", "out.mp4", "--svt", tools + "/fake_svt",
                               "--ffmpeg", tools + "/record_ffmpeg"},
                              {.env = env, .cwd = dir_.path(), .time_limit = std::chrono::seconds(90)});
    EXPECT_FALSE(result.timed_out) << "hang on " << input;
    EXPECT_EQ(result.signal, 0) << result.err;
    EXPECT_EQ(result.out, "");
    if (result.exit_code == 0) {
      EXPECT_GT(std::filesystem::file_size(dir_ / "out.mp4"), 0u);
      EXPECT_NE(result.err.find("=== Done ==="), std::string::npos);
    } else {
      EXPECT_EQ(result.exit_code, 1) << result.err;
      EXPECT_NE(result.err.find("Error: "), std::string::npos) << result.err;
    }
    std::filesystem::remove(dir_ / "out.mp4");
    return result;
  }

  static std::filesystem::path clip() {
    return make_clip("faults_96x64.mp4",
                     {"-f", "lavfi", "-i", "testsrc2=size=96x64:rate=25", "-f", "lavfi", "-i",
                      "sine=frequency=500", "-t", "0.6", "-c:v", "libx264", "-c:a", "aac"});
  }

  TempDir dir_{"encpipe-faults"};
};

TEST_F(EncpipeFaults, ADecoderThatStopsEarlyFailsTheRun) {
  // The decode child passes on half a frame's worth of Y4M and exits 0: the
  // encoder sees a stream that ends in the middle.
  const auto result = run(clip(), {{"QUEN_FFMPEG_DECODE", "truncate:5000"}});
  EXPECT_EQ(result.exit_code, 1);
}

TEST_F(EncpipeFaults, DamagedInputs) {
  const auto bytes = slurp(clip());
  std::mt19937 random(3);
  std::vector<std::pair<std::string, std::string>> inputs{{"empty.mp4", ""},
                                                          {"half.mp4", bytes.substr(0, bytes.size() / 2)},
                                                          {"tail.mp4", bytes.substr(bytes.size() / 3)}};
  for (int round = 0; round < 6; ++round) {
    std::string damaged = bytes;
    for (int flip = 0; flip < 4 * (round + 1); ++flip) {
      const auto at = std::uniform_int_distribution<std::size_t>(0, damaged.size() - 1)(random);
      damaged[at] = static_cast<char>(damaged[at] ^ 0x5a);
    }
    inputs.emplace_back(fmt::format("flip_{}.mp4", round), damaged);
  }
  for (const auto& [name, content] : inputs) {
    SCOPED_TRACE(name);
    std::ofstream(dir_ / name, std::ios::binary) << content;
    run(dir_ / name);
  }
}

}  // namespace
}  // namespace quen::testing
