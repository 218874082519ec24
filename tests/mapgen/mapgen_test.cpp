// mapgen as its users meet it: the built program run on real clips, its whole
// console output and map file compared with what they must be.

#include "clips.hpp"
#include "common/number_format.hpp"
#include "reference_model.hpp"
#include "run_program.hpp"
#include "temp_dir.hpp"

#include <fmt/format.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <sstream>

namespace quen::testing {
namespace {

using ::testing::EndsWith;

const std::string mapgen = MAPGEN_PATH;

// A lossless grey clip: the decoder hands out exactly the samples that
// read_grey_frames sees, so the reference model knows every d-value.
std::filesystem::path grey_clip(const std::string& source, int width, int height, int frames) {
  const auto name = fmt::format("grey_{}_{}x{}_{}.mkv", source, width, height, frames);
  const auto input = source == "still" ? fmt::format("color=c=0x808080:size={}x{}:rate=25", width, height)
                                       : fmt::format("{}=size={}x{}:rate=25", source, width, height);
  return make_clip(name, {"-f", "lavfi", "-i", input, "-frames:v", std::to_string(frames), "-pix_fmt", "gray",
                          "-c:v", "ffv1"});
}

// The container's duration in microseconds, as ffprobe reads it; -1 when unknown.
std::int64_t duration_us(const std::filesystem::path& clip) {
  const auto r = run_program({"/usr/bin/ffprobe", "-v", "error", "-show_entries", "format=duration", "-of",
                              "default=nw=1:nk=1", clip.string()});
  std::string text = r.out.substr(0, r.out.find('\n'));
  if (text == "N/A" || text.empty()) return -1;
  text.erase(text.find('.'), 1);  // six decimals: microseconds
  return std::stoll(text);
}

struct Invocation {
  std::vector<std::string> args;  // after the input
  std::string agg = "min";
  int segments = 5;
  std::int32_t qp_range = 20;
};

std::string expected_head(const std::filesystem::path& clip, const std::string& output, const Invocation& run,
                          const ModelResult& m, int width, int height) {
  const auto dur = duration_us(clip);
  const std::uint64_t est = dur < 0 ? 0 : static_cast<std::uint64_t>(25.0 * (static_cast<double>(dur) / 1e6));
  std::string s;
  s += "=== zantolo-svtav1-roi (Phase 0 PoC) ===\n";
  s += fmt::format("input:    {}\n", clip.string());
  s += fmt::format("output:   {}  (SVT-AV1 --roi-map-file format)\n", output);
  s += fmt::format("agg:      {}\n", run.agg);
  s += fmt::format("segments: {}\n", std::min(run.segments, 8));
  s += fmt::format("qp_range: ±{}\n", run.qp_range);
  s += fmt::format("Video: {}x{}, 25/1 fps, ~{} frames, codec: Some(\"ffv1\")\n", width, height, est);
  s += fmt::format("QuenMapEncoder: {}x{} -> {}x{} blocks (8x8), 25/1fps\n", width, height, m.blocks_w,
                   m.blocks_h);
  s += fmt::format(
      "\n[Pass 1] {} decoded frames, {} d-value frame-pairs, {}x{} QuenMAP 8x8 blocks ({} per frame)\n",
      m.pairs + 1, m.pairs, m.blocks_w, m.blocks_h, m.blocks_w * m.blocks_h);
  s += fmt::format("[SVT]    {}x{} 64x64 blocks ({} per frame)\n", m.cols, m.rows, m.cols * m.rows);
  s += fmt::format("\n[Quantization] {} segments, QP offsets:\n", m.bucket_offsets.size());
  for (std::size_t b = 0; b < m.bucket_offsets.size(); ++b) {
    s += fmt::format("  bucket {}: offset {:+}\n", b, m.bucket_offsets[b]);
  }
  s += fmt::format("  d thresholds: {}\n", float_list(m.thresholds));
  return s;
}

std::string expected_distribution(const ModelResult& m, bool counted) {
  std::uint64_t total = 0;
  for (const auto c : m.bucket_counts) total += counted ? c : 0;
  std::string s = "\n[Distribution] block counts per bucket:\n";
  for (std::size_t b = 0; b < m.bucket_offsets.size(); ++b) {
    const std::uint64_t c = counted ? m.bucket_counts[b] : 0;
    const double pct = total == 0 ? 0.0 : static_cast<double>(c) * 100.0 / static_cast<double>(total);
    s += fmt::format("  bucket {} (offset {:+}): {} blocks ({:.1f}%)\n", b, m.bucket_offsets[b], c, pct);
  }
  return s;
}

std::string expected_done(std::size_t bytes, int pairs) {
  return fmt::format("\n[Done] Wrote {} bytes ({:.1f} KB), {} lines\n", bytes,
                     static_cast<double>(bytes) / 1024.0, pairs);
}

class MapgenRun : public ::testing::Test {
 protected:
  ProgramResult run_mapgen(const std::filesystem::path& clip, const std::vector<std::string>& args) {
    std::vector<std::string> argv{mapgen, clip.string()};
    argv.insert(argv.end(), args.begin(), args.end());
    return run_program(argv, {.cwd = dir_.path()});
  }

  // Runs mapgen and checks its whole output against the model.
  void expect_matches_model(const std::filesystem::path& clip, int w, int h, const Invocation& run,
                            const ModelOptions& model_options) {
    const auto video = read_grey_frames(clip, w, h);
    const auto model = model_roi_map(video, model_options);
    const auto result = run_mapgen(clip, run.args);
    ASSERT_EQ(result.exit_code, 0) << result.err;
    EXPECT_EQ(result.out, "");

    const std::string output = clip.stem().string() + "_roi.txt";
    const auto map = slurp(dir_ / output);
    EXPECT_EQ(map, model.map);
    EXPECT_EQ(result.err, expected_head(clip, output, run, model, w, h) + expected_distribution(model, true) +
                              expected_done(model.map.size(), model.pairs));
  }

  TempDir dir_{"mapgen"};
};

TEST_F(MapgenRun, DefaultsOnA130x70Clip) {
  expect_matches_model(grey_clip("testsrc2", 130, 70, 12), 130, 70, {}, {});
}

TEST_F(MapgenRun, DefaultsOnA200x100Clip) {
  expect_matches_model(grey_clip("testsrc2", 200, 100, 20), 200, 100, {}, {});
}

TEST_F(MapgenRun, AStillClipPutsEveryBlockInBucketZero) {
  const auto clip = grey_clip("still", 200, 100, 50);
  expect_matches_model(clip, 200, 100, {}, {});
  const auto map = slurp(dir_ / (clip.stem().string() + "_roi.txt"));
  std::string expected;
  for (int f = 0; f < 49; ++f) expected += fmt::format("{} 20 20 20 20 20 20 20 20\n", f);
  EXPECT_EQ(map, expected);
}

TEST_F(MapgenRun, AnEmptySvtColumnTakesTheBucketOfZero) {
  // 70 pixels wide: the second SVT column lies over no whole 8x8 block.
  expect_matches_model(grey_clip("testsrc2", 70, 64, 8), 70, 64, {}, {});
}

TEST_F(MapgenRun, EachAggregationMethod) {
  const auto clip = grey_clip("testsrc2", 200, 100, 12);
  for (const std::string agg : {"min", "max", "median", "p75", "MAX", "mean"}) {
    SCOPED_TRACE(agg);
    expect_matches_model(clip, 200, 100, {.args = {"--agg", agg}, .agg = agg}, {.agg = agg});
  }
}

TEST_F(MapgenRun, SegmentCountsAreClampedToTwoToEight) {
  const auto clip = grey_clip("testsrc2", 200, 100, 12);
  for (const int segments : {0, 1, 4, 8, 12}) {
    SCOPED_TRACE(segments);
    expect_matches_model(clip, 200, 100,
                         {.args = {"--segments", std::to_string(segments)}, .segments = segments},
                         {.segments = segments});
  }
}

TEST_F(MapgenRun, ANegativeQpRangeTurnsTheOffsetsAround) {
  const auto clip = grey_clip("testsrc2", 200, 100, 12);
  expect_matches_model(clip, 200, 100, {.args = {"--qp-range=-5"}, .qp_range = -5}, {.qp_range = -5});
  expect_matches_model(clip, 200, 100,
                       {.args = {"--qp-range=-10", "--segments", "4"}, .segments = 4, .qp_range = -10},
                       {.segments = 4, .qp_range = -10});
}

// Every offset of the map file, line by line, without the pair numbers.
std::set<std::string> offsets_in(const std::string& map) {
  std::set<std::string> out;
  std::istringstream lines(map);
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream words(line);
    std::string word;
    words >> word;
    while (words >> word) out.insert(word);
  }
  return out;
}

TEST_F(MapgenRun, DiagnosticModesWriteAUniformMap) {
  const auto clip = grey_clip("testsrc2", 200, 100, 12);
  const auto model = model_roi_map(read_grey_frames(clip, 200, 100), {});
  const std::string output = clip.stem().string() + "_roi.txt";
  struct Case {
    std::vector<std::string> args;
    std::string notices;
    std::string offset;
  };
  const std::string uniform = "\n[DIAGNOSTIC] uniform ROI offset = {} (QuenMAP signal overridden)\n";
  const std::string inversion = "\n[DIAGNOSTIC] sign inversion ON (positive ↔ negative)\n";
  const std::vector<Case> cases{
      {{"--diagnostic", "zero"}, fmt::format(fmt::runtime(uniform), 0), "0"},
      {{"--diagnostic", "zero", "--invert-sign"}, fmt::format(fmt::runtime(uniform), 0) + inversion, "0"},
      {{"--diagnostic", "const-pos", "--diag-value=-3"}, fmt::format(fmt::runtime(uniform), 3), "3"},
      {{"--diagnostic", "const-pos", "--invert-sign"},
       fmt::format(fmt::runtime(uniform), 2) + inversion,
       "-2"},
      {{"--diagnostic", "const-neg", "--diag-value", "3"}, fmt::format(fmt::runtime(uniform), -3), "-3"},
      {{"--diagnostic", "const-neg", "--diag-value=-3", "--invert-sign"},
       fmt::format(fmt::runtime(uniform), -3) + inversion,
       "3"},
      // |-2147483648| does not fit: the wrapping arithmetic keeps it negative.
      {{"--diagnostic", "const-pos", "--diag-value=-2147483648"},
       fmt::format(fmt::runtime(uniform), INT32_MIN),
       "-2147483648"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(fmt::format("{}", fmt::join(c.args, " ")));
    const auto result = run_mapgen(clip, c.args);
    ASSERT_EQ(result.exit_code, 0) << result.err;
    const auto map = slurp(dir_ / output);
    EXPECT_EQ(offsets_in(map), std::set<std::string>{c.offset});
    const auto head = expected_head(clip, output, {.args = c.args}, model, 200, 100);
    EXPECT_EQ(result.err,
              head + c.notices + expected_distribution(model, false) + expected_done(map.size(), 11));
  }
}

TEST_F(MapgenRun, InvertSignAloneNegatesTheFileButNotTheReports) {
  const auto clip = grey_clip("testsrc2", 200, 100, 12);
  const auto model = model_roi_map(read_grey_frames(clip, 200, 100), {});
  const auto result = run_mapgen(clip, {"--invert-sign"});
  ASSERT_EQ(result.exit_code, 0) << result.err;
  const std::string output = clip.stem().string() + "_roi.txt";
  const auto map = slurp(dir_ / output);
  // 20 -> -20, 10 -> -10, -10 -> 10, 0 stays 0.
  std::string expected;
  std::istringstream lines(model.map);
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream words(line);
    std::string word;
    words >> word;
    expected += word;
    while (words >> word) expected += fmt::format(" {}", -std::stoi(word));
    expected += "\n";
  }
  EXPECT_EQ(map, expected);
  EXPECT_EQ(result.err, expected_head(clip, output, {}, model, 200, 100) +
                            "\n[DIAGNOSTIC] sign inversion ON (positive ↔ negative)\n" +
                            expected_distribution(model, true) + expected_done(map.size(), model.pairs));
}

TEST_F(MapgenRun, ShowCmdEndsWithTheEncodeExample) {
  const auto clip = grey_clip("testsrc2", 130, 70, 4);
  const auto result = run_mapgen(clip, {"--show-cmd", "-o", "my map.txt"});
  ASSERT_EQ(result.exit_code, 0) << result.err;
  const std::string example = fmt::format(
      "\n=== Encode example ===\n"
      "# Convert input → raw YUV420P (Y4M):\n"
      "ffmpeg -i {} -pix_fmt yuv420p -f yuv4mpegpipe - | \\\n"
      "# Encode with SVT-AV1 + QuenMAP ROI map:\n"
      "  SvtAv1EncApp -i stdin -b output.av1 \\\n"
      "    --roi-map-file my map.txt --crf 32 --preset 8 \\\n"
      "    -w 130 -h 70 --fps-num 25 --fps-denom 1\n"
      "# Mux to MP4:\n"
      "ffmpeg -i output.av1 -c copy output.mp4\n",
      clip.string());
  EXPECT_THAT(result.err, EndsWith(example));
  EXPECT_NE(result.err.find("\n[Done] Wrote "), std::string::npos);
  EXPECT_TRUE(std::filesystem::exists(dir_ / "my map.txt"));
}

// A clip stored on its side with a display rotation, as phones record: the
// ffmpeg command of the example turns it upright before the encoder sees
// it, so the map and the example's size are those of the upright frames.
TEST_F(MapgenRun, ARotatedClipIsMappedAsDisplayed) {
  const auto clip = rotated_clip(testsrc_clip(136, 72, 8), 90);
  const auto upright =
      make_clip(clip.stem().string() + "_upright.mkv", {"-i", clip.string(), "-c:v", "ffv1"});
  const auto result = run_mapgen(clip, {"--show-cmd", "--agg", "max", "-o", "rotated_roi.txt"});
  ASSERT_EQ(result.exit_code, 0) << result.err;
  EXPECT_THAT(result.err, ::testing::HasSubstr("Video: 72x136, 25/1 fps"));
  EXPECT_THAT(result.err, ::testing::HasSubstr("\n    -w 72 -h 136 --fps-num 25 --fps-denom 1\n"));
  ASSERT_EQ(run_mapgen(upright, {"--agg", "max", "-o", "upright_roi.txt"}).exit_code, 0);
  EXPECT_EQ(slurp(dir_ / "rotated_roi.txt"), slurp(dir_ / "upright_roi.txt"));
}

TEST_F(MapgenRun, AMissingInputFailsAfterTheSettings) {
  const auto result = run_program({mapgen, "missing.mp4"}, {.cwd = dir_.path()});
  EXPECT_EQ(result.exit_code, 1);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err, fmt::format("=== zantolo-svtav1-roi (Phase 0 PoC) ===\n"
                                    "input:    missing.mp4\n"
                                    "output:   missing_roi.txt  (SVT-AV1 --roi-map-file format)\n"
                                    "agg:      min\n"
                                    "segments: 5\n"
                                    "qp_range: ±20\n"
                                    "Error: open input\n\n"
                                    "Caused by:\n"
                                    "    0: Cannot open: missing.mp4\n"
                                    "    1: {}\n",
                                    std::strerror(ENOENT)));
  EXPECT_TRUE(std::filesystem::is_empty(dir_.path()));
}

TEST_F(MapgenRun, AnOutputInAMissingDirectoryFailsAfterTheQuantization) {
  const auto clip = grey_clip("testsrc2", 130, 70, 4);
  const auto result = run_mapgen(clip, {"-o", "nowhere/map.txt"});
  EXPECT_EQ(result.exit_code, 1);
  const std::string tail = fmt::format("Error: create output\n\nCaused by:\n    {}\n", std::strerror(ENOENT));
  EXPECT_THAT(result.err, EndsWith(tail));
  EXPECT_NE(result.err.find("  d thresholds: "), std::string::npos);
  EXPECT_EQ(result.err.find("[Distribution]"), std::string::npos);
  EXPECT_EQ(result.err.find("[Done]"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(dir_ / "nowhere"));
}

TEST_F(MapgenRun, AWriteErrorIsReportedWithoutContext) {
  const auto clip = grey_clip("testsrc2", 130, 70, 4);
  const auto result = run_mapgen(clip, {"-o", "/dev/full"});
  EXPECT_EQ(result.exit_code, 1);
  const std::string tail = fmt::format("Error: {}\n", std::strerror(ENOSPC));
  EXPECT_THAT(result.err, EndsWith(tail));
  EXPECT_EQ(result.err.find("[Done]"), std::string::npos);
}

TEST_F(MapgenRun, AnOutputThatNamesTheInputLeavesTheVideoIntact) {
  const auto original = grey_clip("testsrc2", 130, 70, 4);
  std::filesystem::copy_file(original, dir_ / "clip.mkv");
  const auto bytes = slurp(dir_ / "clip.mkv");
  // FFmpeg opens "file:clip.mkv" as clip.mkv.
  for (const auto& [input, output] :
       {std::pair{"clip.mkv", "./clip.mkv"}, std::pair{"file:clip.mkv", "clip.mkv"}}) {
    const auto result = run_program({mapgen, input, "-o", output}, {.cwd = dir_.path()});
    EXPECT_EQ(result.exit_code, 1);
    const std::string tail = fmt::format(
        "Error: create output\n\nCaused by:\n    the output path names the input video itself: {}\n", output);
    EXPECT_THAT(result.err, EndsWith(tail));
    EXPECT_EQ(slurp(dir_ / "clip.mkv"), bytes);
  }
}

// A reader that is gone, as after `mapgen ... 2>&1 | head -3`: the console
// lines are dropped and the run keeps its own outcome; only the map written
// into such a pipe is a failure.
TEST_F(MapgenRun, ConsoleIntoAClosedPipe) {
  const auto clip = grey_clip("testsrc2", 130, 70, 4);
  const auto run = [&](std::vector<std::string> args, RunOptions options) {
    args.insert(args.begin(), mapgen);
    options.cwd = dir_.path();
    const auto result = run_program(args, options);
    EXPECT_EQ(result.signal, 0) << fmt::format("{}", fmt::join(args, " "));
    return result;
  };
  const RunOptions closed_stdout{.stdout_to_closed_pipe = true};
  const RunOptions closed_stderr{.stderr_to_closed_pipe = true};

  EXPECT_EQ(run({"--help"}, closed_stdout).exit_code, 0);
  EXPECT_EQ(run({"--version"}, closed_stdout).exit_code, 0);
  EXPECT_EQ(run({"--bogus"}, closed_stderr).exit_code, 2);

  EXPECT_EQ(run({clip.string(), "-o", "map.txt"}, closed_stderr).exit_code, 0);
  const auto map = slurp(dir_ / "map.txt");
  EXPECT_EQ(std::count(map.begin(), map.end(), '\n'), 3);

  const auto into_pipe = run({clip.string(), "-o", "/dev/stdout"}, closed_stdout);
  EXPECT_EQ(into_pipe.exit_code, 1);
  EXPECT_THAT(into_pipe.err, EndsWith(fmt::format("Error: {}\n", std::strerror(EPIPE))));
}

TEST_F(MapgenRun, AOneFrameVideoHasNoFramePair) {
  const auto clip = grey_clip("testsrc2", 130, 70, 1);
  const auto result = run_mapgen(clip, {});
  EXPECT_EQ(result.exit_code, 1);
  const std::string tail =
      "Error: Too few frames: 1 decoded frames, at least 2 are needed to form a frame pair\n";
  EXPECT_THAT(result.err, EndsWith(tail));
  EXPECT_EQ(result.err.find("[Pass 1]"), std::string::npos);
  EXPECT_TRUE(std::filesystem::is_empty(dir_.path()));
}

TEST(MapgenCommandLine, HelpAndVersionGoToStandardOutput) {
  const auto version = run_program({mapgen, "--version"});
  EXPECT_EQ(version.exit_code, 0);
  EXPECT_EQ(version.out, "zantolo-svtav1-roi 0.3.2\n");
  EXPECT_EQ(version.err, "");

  const auto help = run_program({mapgen, "input.mp4", "--help"});
  EXPECT_EQ(help.exit_code, 0);
  EXPECT_EQ(help.err, "");
  EXPECT_EQ(help.out.rfind("Generate SVT-AV1 --roi-map-file from QuenMAP analysis (Phase 0 PoC)\n", 0), 0u);
  for (const char* text : {"Usage: mapgen [OPTIONS] <INPUT>", "--diag-value <DIAG_VALUE>", "[default: min]",
                           "[default: off]", "--invert-sign"}) {
    EXPECT_NE(help.out.find(text), std::string::npos) << text;
  }
}

TEST(MapgenCommandLine, ErrorsExitWithStatusTwoBeforeAnyWork) {
  for (const auto& args : std::vector<std::vector<std::string>>{{},
                                                                {"--foo", "--help"},
                                                                {"a.mp4", "--qp-range", "-10"},
                                                                {"a.mp4", "--segments", "256"},
                                                                {"a.mp4", "--show-cmd", "--show-cmd"},
                                                                {"a.mp4", "--show-cmd=true"},
                                                                {"a.mp4", "b.mp4"}}) {
    std::vector<std::string> argv{mapgen};
    argv.insert(argv.end(), args.begin(), args.end());
    const auto result = run_program(argv);
    SCOPED_TRACE(fmt::format("{}", fmt::join(args, " ")));
    EXPECT_EQ(result.exit_code, 2);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err.rfind("error:", 0), 0u);
    EXPECT_NE(result.err.find("For more information, try '--help'.\n"), std::string::npos);
  }
  const auto none = run_program({mapgen});
  EXPECT_NE(none.err.find("the following required arguments were not provided:\n  <INPUT>\n"),
            std::string::npos);
}

}  // namespace
}  // namespace quen::testing
