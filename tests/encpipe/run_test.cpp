// encpipe runs that succeed: the command lines and standard streams of its
// three children, the work directory's name and removal, and a real encode.

#include "clips.hpp"
#include "encpipe_harness.hpp"
#include "temp_dir.hpp"

#include <fmt/format.h>
#include <gtest/gtest.h>
#include <unistd.h>

extern "C" {
#include <libavcodec/version.h>
}

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

namespace encpipe_test {
namespace {

namespace fs = std::filesystem;
using quen::testing::run_program;
using quen::testing::slurp;
using quen::testing::TempDir;
using Args = std::vector<std::string>;

std::string regex_escape(std::string_view text) {
  static const std::regex special(R"([.^$|()\[\]{}*+?\\])");
  return std::regex_replace(std::string(text), special, R"(\$&)");
}

// What follows the encoder's line in a successful run, with the figures that
// depend on the real encoder left open.
std::regex success_tail(const fs::path& work_dir, std::string_view input, std::string_view output) {
  return std::regex(
      fmt::format("      ROI map: {0}/roi\\.txt \\([0-9]+ bytes\\)\n"
                  "\n\\[2/3\\] Pipe ffmpeg → SvtAv1EncApp\n"
                  "      AV1: {0}/out\\.av1 \\([0-9]+ bytes / [0-9]+\\.[0-9] MB\\)\n"
                  "\n\\[3/3\\] Mux to MP4 with audio passthrough\n"
                  "\n=== Done ===\n"
                  "input:  {1} \\([0-9]+\\.[0-9] MB\\)\n"
                  "output: {2} \\([0-9]+\\.[0-9] MB, [+-][0-9]+\\.[0-9]% vs input\\)\n",
                  regex_escape(work_dir.string()), regex_escape(input), regex_escape(output)));
}

void expect_success(const quen::testing::ProgramResult& result, const fs::path& work_dir,
                    std::string_view input, std::string_view output, std::string_view settings = "") {
  ASSERT_EQ(result.exit_code, 0) << result.err;
  EXPECT_EQ(result.out, "");
  auto start = expected_start(input, output);
  if (!settings.empty())
    start = std::regex_replace(start, std::regex("settings: [^\n]*"), std::string(settings));
  ASSERT_EQ(result.err.substr(0, start.size()), start);
  EXPECT_TRUE(std::regex_match(result.err.substr(start.size()), success_tail(work_dir, input, output)))
      << result.err;
}

TEST(EncpipeCommandLine, HelpShowsEveryOptionInOrderWithItsDefault) {
  const auto result = run_encpipe({"input.mp4", "--help"});
  EXPECT_EQ(result.exit_code, 0);
  EXPECT_EQ(result.err, "");
  const std::vector<std::string> in_order{
      "QuenMAP-driven SVT-AV1 encoder (end-to-end pipeline)\n",
      "<INPUT>",
      "Input video file",
      "-o, --output <OUTPUT>",
      "Output AV1 in MP4 container\n",
      "--qp-range <QP_RANGE>",
      "QP range, user-facing dial: 20 (mild, ~-12%) / 30 (default, ~-20%) / 40 (~-27%) / 60 (~-38%) "
      "[default: 30]",
      "--crf <CRF>",
      "SVT-AV1 CRF (quality target). Lower = better quality, higher = smaller file [default: 32]",
      "--preset <PRESET>",
      "SVT-AV1 preset (0=slowest/best, 13=fastest). 8 ≈ x264 medium [default: 8]",
      "--svt <SVT>",
      "Path to SvtAv1EncApp binary [default: SvtAv1EncApp]",
      "--ffmpeg <FFMPEG>",
      "Path to ffmpeg binary [default: ffmpeg]",
      "--agg <AGG>",
      "Aggregation: min (savings-leaning) / max / median / p75 (quality-leaning, default) [default: p75]",
      "--segments <SEGMENTS>",
      "Number of QP segments (max 8 per AV1 spec) [default: 5]",
      "-h, --help",
      "-V, --version"};
  std::size_t at = 0;
  for (const auto& text : in_order) {
    const auto found = result.out.find(text, at);
    ASSERT_NE(found, std::string::npos) << "missing or out of order: " << text << "\n" << result.out;
    at = found + text.size();
  }
}

TEST(EncpipeCommandLine, VersionAndRefusedLinesEndBeforeAnyWork) {
  const auto version = run_encpipe({"--version"});
  EXPECT_EQ(version.exit_code, 0);
  EXPECT_EQ(version.out, "zantolo-svtav1-quen 0.3.2\n");

  for (const Args& args : {Args{}, Args{"in.mp4", "--qp-range", "-30"}, Args{"in.mp4", "--segments", "256"},
                           Args{"in.mp4", "--crf", "1", "--crf", "2"}, Args{"in.mp4", "--crf=-1"}}) {
    const auto refused = run_encpipe(args);
    EXPECT_EQ(refused.exit_code, 2) << refused.err;
    EXPECT_EQ(refused.out, "");
    EXPECT_EQ(refused.err.rfind("error: ", 0), 0u) << refused.err;
  }
}

TEST(EncpipeRun, ChildrenGetTheirExactCommandLinesAndStreams) {
  TempDir tmp("encpipe-run");
  fs::create_symlink(av_clip(), tmp / "clip.mp4");
  fs::create_directory(tmp / "records");
  std::ofstream(tmp / "stdin.txt") << "not for the children to read\n";
  const auto work_dir = tmp / "quenav1_clip";

  const auto result =
      run_encpipe({"clip.mp4", "--crf", "70", "--preset", "99", "--svt", tool("fake_svt"), "--ffmpeg",
                   tool("record_ffmpeg")},
                  {.env = {{"TMPDIR", tmp.path().string()}, {"QUEN_RECORD_DIR", (tmp / "records").string()}},
                   .cwd = tmp.path(),
                   .stdin_file = tmp / "stdin.txt"});
  expect_success(result, work_dir, "clip.mp4", "clip_quenav1.mp4",
                 "settings: agg=p75 segments=5 crf=70 preset=99");

  const auto decode = read_record(tmp / "records", "record_ffmpeg", 0);
  ASSERT_TRUE(decode);
  EXPECT_EQ(decode->argv0, tool("record_ffmpeg"));
  EXPECT_EQ(decode->args,
            (Args{"-y", "-i", "clip.mp4", "-pix_fmt", "yuv420p", "-f", "yuv4mpegpipe", "pipe:1"}));
  EXPECT_EQ(decode->stdin_kind, "null");  // ffmpeg would read ours for keys
  EXPECT_EQ(decode->stdout_kind, "pipe");
  EXPECT_EQ(decode->stderr_kind, "null");
  EXPECT_EQ(decode->sigpipe, "default");

  const auto encode = read_record(tmp / "records", "fake_svt", 0);
  ASSERT_TRUE(encode);
  EXPECT_EQ(encode->argv0, tool("fake_svt"));
  EXPECT_EQ(encode->args, (Args{"-i", "stdin", "-b", (work_dir / "out.av1").string(), "--roi-map-file",
                                (work_dir / "roi.txt").string(), "--crf", "70", "--preset", "99", "-w", "128",
                                "-h", "64", "--fps-num", "25", "--fps-denom", "1"}));
  EXPECT_EQ(encode->stdin_kind, "pipe");
  EXPECT_EQ(encode->stdout_kind, "file");  // ours, inherited
  EXPECT_EQ(encode->stderr_kind, "file");
  EXPECT_EQ(encode->sigpipe, "default");

  const auto mux = read_record(tmp / "records", "record_ffmpeg", 1);
  ASSERT_TRUE(mux);
  ASSERT_FALSE(mux->args.empty());
  EXPECT_EQ(Args(mux->args.begin(), mux->args.end() - 1),
            (Args{"-y", "-i", (work_dir / "out.av1").string(), "-i", "clip.mp4", "-map", "0:v:0", "-map",
                  "1:a:0?", "-c", "copy"}));
  // A hidden file beside the output, with its extension, renamed onto it.
  EXPECT_TRUE(
      std::regex_match(mux->args.back(), std::regex(R"(\.clip_quenav1\.mp4\.encpipe-[A-Za-z0-9]{6}\.mp4)")))
      << mux->args.back();
  EXPECT_FALSE(fs::exists(tmp / mux->args.back()));
  EXPECT_EQ(mux->stdin_kind, "null");
  EXPECT_EQ(mux->stdout_kind, "file");
  EXPECT_EQ(mux->stderr_kind, "null");
  EXPECT_EQ(mux->sigpipe, "default");
  EXPECT_FALSE(read_record(tmp / "records", "record_ffmpeg", 2));

  EXPECT_FALSE(fs::exists(work_dir));
  EXPECT_GT(fs::file_size(tmp / "clip_quenav1.mp4"), 0u);
}

// Where the work directory goes for each TMPDIR, seen in the -b argument the
// encoder is given; it is gone after the run.
struct TmpdirCase {
  const char* name;
  std::optional<std::string> tmpdir;  // nothing: TMPDIR unset
  std::string expected_parent;        // "." for the current directory
};

void PrintTo(const TmpdirCase& param, std::ostream* out) {
  *out << param.name;
}

class EncpipeWorkDir : public ::testing::TestWithParam<TmpdirCase> {};

TEST_P(EncpipeWorkDir, NamedFromTmpdirAndRemovedAfterSuccess) {
  const auto& param = GetParam();
  TempDir tmp("encpipe-wd");
  // Parallel tests share /tmp and /var/tmp: a stem of our own avoids them.
  const auto stem = fmt::format("wd_{}_{}", param.name, getpid());
  fs::create_symlink(av_clip(), tmp / (stem + ".mp4"));
  fs::create_directory(tmp / "records");
  const auto work_dir = param.expected_parent == "." ? fs::path("quenav1_" + stem)
                                                     : fs::path(param.expected_parent) / ("quenav1_" + stem);

  const auto result =
      run_encpipe({stem + ".mp4", "--svt", tool("fake_svt")},
                  {.env = {{"TMPDIR", param.tmpdir}, {"QUEN_RECORD_DIR", (tmp / "records").string()}},
                   .cwd = tmp.path()});
  const auto encode = read_record(tmp / "records", "fake_svt", 0);
  const bool left_behind = fs::exists(tmp.path() / work_dir);
  std::error_code ignored;
  if (work_dir.is_absolute()) fs::remove_all(work_dir, ignored);

  expect_success(result, work_dir, stem + ".mp4", stem + "_quenav1.mp4");
  ASSERT_TRUE(encode);
  EXPECT_EQ(encode->args.at(3), (work_dir / "out.av1").string());
  EXPECT_EQ(encode->args.at(5), (work_dir / "roi.txt").string());
  EXPECT_FALSE(left_behind);
}

INSTANTIATE_TEST_SUITE_P(Tmpdir, EncpipeWorkDir,
                         ::testing::Values(TmpdirCase{"unset", std::nullopt, "/tmp"},
                                           TmpdirCase{"vartmp", "/var/tmp/", "/var/tmp"},
                                           TmpdirCase{"empty", "", "."}),
                         [](const auto& info) { return std::string(info.param.name); });

std::string ffprobe_streams(const fs::path& file) {
  const auto result = run_program({"/usr/bin/ffprobe", "-v", "error", "-show_entries",
                                   "stream=codec_type,codec_name", "-of", "csv=p=0", file.string()});
  EXPECT_EQ(result.exit_code, 0) << result.err;
  return result.out;
}

TEST(EncpipeEndToEnd, MakesAnMp4WithAv1VideoAndTheInputsAudio) {
  TempDir tmp("encpipe-e2e");
  fs::create_directory(tmp / "kept");
  const auto output = tmp / "out dir" / "encoded.mp4";
  fs::create_directory(output.parent_path());

  // ffmpeg by its default name, found along PATH.
  const auto result =
      run_encpipe({av_clip().string(), "-o", output.string(), "--svt", tool("fake_svt")},
                  {.env = {{"TMPDIR", tmp.path().string()}, {"QUEN_FAKE_SVT_KEEP", (tmp / "kept").string()}},
                   .cwd = tmp.path()});
  expect_success(result, tmp / "quenav1_encpipe_still_and_noise_128x64_20", av_clip().string(),
                 output.string());
  EXPECT_NE(result.err.find(fmt::format(
                "      ROI map: {}/quenav1_encpipe_still_and_noise_128x64_20/roi.txt ({} bytes)\n",
                tmp.path().string(), fs::file_size(tmp / "kept" / "roi.txt"))),
            std::string::npos);
  EXPECT_NE(result.err.find(fmt::format("/out.av1 ({} bytes / ", fs::file_size(tmp / "kept" / "out.av1"))),
            std::string::npos);

  EXPECT_EQ(ffprobe_streams(output), "av1,video\naac,audio\n");

  // encpipe's sign: the still half has the lowest values and gets -qp_range,
  // the noisy half one of the upper offsets.
  std::istringstream map(slurp(tmp / "kept" / "roi.txt"));
  int pairs = 0;
  for (std::string line; std::getline(map, line); ++pairs) {
    EXPECT_TRUE(std::regex_match(line, std::regex(fmt::format("{} -30 (0|15|30)", pairs)))) << line;
  }
  EXPECT_EQ(pairs, 19);
}

// A batch loop hands encpipe its list as standard input: the ffmpeg children
// must leave the rest of it to the loop.
TEST(EncpipeEndToEnd, BatchLoopOnStandardInputEncodesEveryFile) {
  TempDir tmp("encpipe-e2e");
  fs::create_symlink(av_clip(), tmp / "a.mp4");
  fs::create_symlink(av_clip(), tmp / "b.mp4");
  std::ofstream(tmp / "list") << "a.mp4\nb.mp4\n";
  const auto result = run_program(
      {"/bin/bash", "-c", "while read -r f; do \"$0\" \"$f\" --svt \"$1\" || exit; echo \"$f\"; done",
       ENCPIPE_PATH, tool("fake_svt")},
      {.env = {{"TMPDIR", tmp.path().string()}}, .cwd = tmp.path(), .stdin_file = tmp / "list"});
  EXPECT_EQ(result.exit_code, 0) << result.err;
  EXPECT_EQ(result.out, "a.mp4\nb.mp4\n");
  EXPECT_EQ(ffprobe_streams(tmp / "b_quenav1.mp4"), "av1,video\naac,audio\n");
}

// An ignored SIGCHLD survives exec, as from Python's subprocess with a
// preexec_fn that sets SIG_IGN; every wait for a child would then fail.
TEST(EncpipeEndToEnd, ParentIgnoringSigchldStillGetsItsMp4) {
  TempDir tmp("encpipe-e2e");
  fs::create_symlink(av_clip(), tmp / "clip.mp4");
  const auto result = run_program({"/usr/bin/perl", "-e", "$SIG{CHLD} = 'IGNORE'; exec @ARGV or die",
                                   ENCPIPE_PATH, "clip.mp4", "--svt", tool("fake_svt")},
                                  {.env = {{"TMPDIR", tmp.path().string()}}, .cwd = tmp.path()});
  expect_success(result, tmp / "quenav1_clip", "clip.mp4", "clip_quenav1.mp4");
  EXPECT_EQ(ffprobe_streams(tmp / "clip_quenav1.mp4"), "av1,video\naac,audio\n");
}

// ffmpeg would take the output for an option and the AV1 stream under a
// relative TMPDIR "t:x" for a file of protocol "t".
TEST(EncpipeEndToEnd, NamesFfmpegWouldMisreadStillMux) {
  TempDir tmp("encpipe-e2e");
  fs::create_symlink(av_clip(), tmp / "-dash.mp4");
  const auto result = run_encpipe({"--svt", tool("fake_svt"), "--", "-dash.mp4"},
                                  {.env = {{"TMPDIR", "t:x"}}, .cwd = tmp.path()});
  expect_success(result, "t:x/quenav1_-dash", "-dash.mp4", "-dash_quenav1.mp4");
  EXPECT_EQ(ffprobe_streams(tmp / "-dash_quenav1.mp4"), "av1,video\naac,audio\n");
  EXPECT_FALSE(fs::exists(tmp / "t:x" / "quenav1_-dash"));
}

TEST(EncpipeEndToEnd, InputWithoutAudioGivesVideoOnly) {
  TempDir tmp("encpipe-e2e");
  const auto clip = quen::testing::testsrc_clip(128, 64, 10);
  const auto result = run_encpipe(
      {clip.string(), "--svt", tool("fake_svt"), "--qp-range=-20", "--segments", "2"},
      {.env = {{"TMPDIR", tmp.path().string()}, {"QUEN_FAKE_SVT_QP_RANGE", "20"}}, .cwd = tmp.path()});
  ASSERT_EQ(result.exit_code, 0) << result.err;
  EXPECT_NE(result.err.find("qp_range: -20\nsettings: agg=p75 segments=2 crf=32 preset=8\n"),
            std::string::npos);
  EXPECT_EQ(ffprobe_streams(tmp / "testsrc2_128x64_10_quenav1.mp4"), "av1,video\n");
}

// ---- the map fits the frames the encoder is given ----

std::string ffprobe_video(const fs::path& file, const std::string& entries) {
  const auto result =
      run_program({"/usr/bin/ffprobe", "-v", "error", "-select_streams", "v:0", "-show_entries",
                   "stream=" + entries, "-of", "default=nw=1", file.string()});
  EXPECT_EQ(result.exit_code, 0) << result.err;
  return result.out;
}

double start_time(const fs::path& file, const std::string& stream) {
  const auto result =
      run_program({"/usr/bin/ffprobe", "-v", "error", "-select_streams", stream, "-show_entries",
                   "stream=start_time", "-of", "default=nw=1:nk=1", file.string()});
  return std::stod(result.out);
}

// 20 frames of moving testsrc2, 128x64, made into each kind of file whose
// frames ffmpeg's defaults would hand the encoder apart from the analysed
// ones.
struct UnusualInput {
  const char* name;
  Args ffmpeg_args;
  int display_rotation = 0;  // if not 0, the clip is a stream copy of that file turned for display
  Args crop_edges;           // mkvpropedit settings of the Matroska file's cropping
};

void PrintTo(const UnusualInput& param, std::ostream* out) {
  *out << param.name;
}

// The file `base` with the cropping `edges` set in its first video track,
// made once beside the clips.
fs::path cropped_matroska(const fs::path& base, const std::string& name, const Args& edges) {
  const auto path = base.parent_path() / name;
  if (fs::exists(path)) return path;
  const auto partial = base.parent_path() / fmt::format(".{}.{}.mkv", name, getpid());
  fs::copy_file(base, partial, fs::copy_options::overwrite_existing);
  Args edit{"/usr/bin/mkvpropedit", "-q", partial.string(), "--edit", "track:v1"};
  for (const auto& edge : edges) edit.insert(edit.end(), {"--set", edge});
  const auto result = run_program(edit);
  EXPECT_EQ(result.exit_code, 0) << result.out << result.err;
  fs::rename(partial, path);
  return path;
}

fs::path make_unusual_input(const UnusualInput& input) {
  const auto name = fmt::format("encpipe_{}", input.name);
  if (!input.crop_edges.empty()) {
    return cropped_matroska(quen::testing::make_clip("base_" + name, input.ffmpeg_args), name,
                            input.crop_edges);
  }
  if (input.display_rotation == 0) return quen::testing::make_clip(name, input.ffmpeg_args);
  const auto stored = quen::testing::make_clip("base_" + name, input.ffmpeg_args);
  return quen::testing::rotated_clip(stored, input.display_rotation);
}

#define TESTSRC_128X64 "-f", "lavfi", "-i", "testsrc2=size=128x64:rate=25:duration=0.8"

const UnusualInput unusual_inputs[] = {
    {"rotated90.mp4", {TESTSRC_128X64, "-c:v", "libx264"}, 90},
    {"late_start.mkv",
     {"-f", "lavfi", "-i", "sine=sample_rate=48000:duration=2", "-itsoffset", "1", TESTSRC_128X64, "-map",
      "1:v", "-map", "0:a", "-c:v", "libx264", "-c:a", "aac"}},
    {"anamorphic.mp4", {TESTSRC_128X64, "-vf", "setsar=64/45", "-c:v", "libx264"}},
    // Neither stream marked default: ffmpeg then takes the larger picture.
    {"two_videos.mkv",
     {TESTSRC_128X64, "-f", "lavfi", "-i", "testsrc2=size=192x128:rate=25:duration=0.8", "-map", "0:v",
      "-map", "1:v", "-c:v", "libx264", "-disposition:v:0", "0", "-disposition:v:1", "0"}},
    // Odd edges: the ffmpeg program keeps 170x112 from (16, 8) of 4:2:0 frames.
    {"cropped.mkv",
     {"-f", "lavfi", "-i", "testsrc2=size=192x128:rate=25:duration=0.8", "-c:v", "libx264"},
     0,
     {"pixel-crop-left=17", "pixel-crop-right=4", "pixel-crop-top=9", "pixel-crop-bottom=6"}},
};

class EncpipeUnusualInput : public ::testing::TestWithParam<UnusualInput> {};

// encpipe's map for such a file is exactly mapgen's map (with encpipe's
// settings and sign) of the very frames the encoder was given.
TEST_P(EncpipeUnusualInput, MapIsTheMapOfTheFramesTheEncoderGets) {
#if LIBAVCODEC_VERSION_INT < AV_VERSION_INT(61, 10, 100)
  if (!GetParam().crop_edges.empty()) {
    GTEST_SKIP() << "FFmpeg before 7.1 neither reports nor applies a container's cropping";
  }
#endif
  const auto clip = make_unusual_input(GetParam());
  TempDir tmp("encpipe-unusual");
  fs::create_directory(tmp / "kept");
  const auto result =
      run_encpipe({clip.string(), "-o", "out.mp4", "--svt", tool("fake_svt")},
                  {.env = {{"TMPDIR", tmp.path().string()}, {"QUEN_FAKE_SVT_KEEP", (tmp / "kept").string()}},
                   .cwd = tmp.path()});
  ASSERT_EQ(result.exit_code, 0) << result.err;

  const auto mapgen = run_program({MAPGEN_PATH, (tmp / "kept" / "in.y4m").string(), "-o", "mapgen_roi.txt",
                                   "--agg", "p75", "--segments", "5", "--qp-range", "30", "--invert-sign"},
                                  {.cwd = tmp.path()});
  ASSERT_EQ(mapgen.exit_code, 0) << mapgen.err;
  EXPECT_EQ(slurp(tmp / "kept" / "roi.txt"), slurp(tmp / "mapgen_roi.txt"));

  const std::string name = GetParam().name;
  const auto output = tmp / "out.mp4";
  if (name == "rotated90.mp4") {
    // Turned upright, as the input displays.
    EXPECT_EQ(ffprobe_video(output, "width,height"), "width=64\nheight=128\n");
  }
  if (name == "late_start.mkv") {
    // The video keeps its place against the audio, to within a frame.
    const double input_gap = start_time(clip, "v:0") - start_time(clip, "a:0");
    const double output_gap = start_time(output, "v:0") - start_time(output, "a:0");
    EXPECT_NEAR(output_gap, input_gap, 0.04);
  }
  if (name == "anamorphic.mp4") {
    EXPECT_EQ(ffprobe_video(output, "sample_aspect_ratio"), "sample_aspect_ratio=64:45\n");
  }
  if (name == "cropped.mkv") {
    EXPECT_NE(result.err.find("Video: 170x112,"), std::string::npos) << result.err;
    EXPECT_EQ(ffprobe_video(output, "width,height"), "width=170\nheight=112\n");
  }
}

// ffmpeg hands the encoder a variable-frame-rate video at a constant rate,
// repeating frames across the gaps: the map's lines then part from the
// encoded frames at the first repeated one, which the run says, and the
// encode is whole all the same.
TEST(EncpipeRun, VariableFrameRateInputIsMuxedWithAWarningOnTheFrameCount) {
  const auto clip = quen::testing::make_clip(
      "vfr_gap_128x64_20.mp4",
      {TESTSRC_128X64, "-vf", "setpts='N/25/TB+gte(N\\,10)*0.2/TB'", "-fps_mode", "vfr", "-c:v", "libx264"});
  TempDir tmp("encpipe-vfr");
  fs::create_directory(tmp / "records");
  const auto result = run_encpipe({clip.string(), "-o", "out.mp4", "--svt", tool("record_svt")},
                                  {.env = {{"TMPDIR", tmp.path().string()},
                                           {"QUEN_RECORD_DIR", (tmp / "records").string()},
                                           {"QUEN_SVT_MODE", "encode"}},
                                   .cwd = tmp.path()});
  ASSERT_EQ(result.exit_code, 0) << result.err;
  std::smatch warning;
  ASSERT_TRUE(std::regex_search(result.err, warning,
                                std::regex("\n      AV1: [^\n]*\n"
                                           "      Warning: SvtAv1EncApp encoded ([0-9]+) frames where the "
                                           "analysis decoded 20; the ROI map fits only up to the first frame "
                                           "that ffmpeg repeated or dropped\n"
                                           "\n\\[3/3\\] Mux to MP4 with audio passthrough\n")))
      << result.err;
  EXPECT_GT(std::stoi(warning[1]), 20);
  EXPECT_NE(result.err.find("\n=== Done ===\n"), std::string::npos);
  EXPECT_TRUE(fs::exists(tmp / "out.mp4"));
}

INSTANTIATE_TEST_SUITE_P(Inputs, EncpipeUnusualInput, ::testing::ValuesIn(unusual_inputs),
                         [](const auto& info) {
                           std::string name = info.param.name;
                           return name.substr(0, name.find('.'));
                         });

}  // namespace
}  // namespace encpipe_test
