// encpipe runs that fail: each reported failure with its exact report and
// status, what stays on disk, and runs that must end promptly however their
// children end.

#include "clips.hpp"
#include "encpipe_harness.hpp"
#include "process.hpp"
#include "temp_dir.hpp"

#include <arpa/inet.h>
#include <fcntl.h>
#include <fmt/format.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <regex>
#include <set>
#include <sstream>
#include <thread>

namespace encpipe_test {
namespace {

namespace fs = std::filesystem;
using quen::testing::ProgramResult;
using quen::testing::slurp;
using quen::testing::TempDir;
using ::testing::EndsWith;

// Each test runs encpipe in a folder of its own, which is also TMPDIR, on
// "clip.mp4" there; its work directory is quenav1_clip in that folder.
class EncpipeFailure : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_symlink(av_clip(), tmp_ / "clip.mp4");
    fs::create_directory(records());
  }

  fs::path records() const { return tmp_ / "records"; }
  fs::path work_dir() const { return tmp_ / "quenav1_clip"; }

  ProgramResult run(std::vector<std::string> args, std::map<std::string, std::optional<std::string>> env = {},
                    std::function<void(pid_t)> after_start = {}) {
    env.try_emplace("TMPDIR", tmp_.path().string());
    env.try_emplace("QUEN_RECORD_DIR", records().string());
    // No test waits that long unless a run hangs.
    return run_encpipe(args, {.env = env,
                              .cwd = tmp_.path(),
                              .time_limit = std::chrono::seconds(60),
                              .after_start = std::move(after_start)});
  }

  // The run's lines up to the encode step's heading, with the map's size as
  // the map left in the work directory has it.
  std::string until_encode() const {
    return expected_start("clip.mp4", "clip_quenav1.mp4") +
           fmt::format("      ROI map: {} ({} bytes)\n", (work_dir() / "roi.txt").string(),
                       fs::file_size(work_dir() / "roi.txt")) +
           "\n[2/3] Pipe ffmpeg → SvtAv1EncApp\n";
  }

  void expect_failure(const ProgramResult& result, const std::string& err) const {
    EXPECT_FALSE(result.timed_out);
    EXPECT_EQ(result.exit_code, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, err);
  }

  void make_private_work_dir() const {
    fs::create_directory(work_dir());
    fs::permissions(work_dir(), fs::perms::owner_all);
  }

  TempDir tmp_{"encpipe-fail"};
};

// ---- the work directory ----

TEST_F(EncpipeFailure, WorkDirThatCannotBeMadeFailsBeforeTheBanner) {
  // A permission test would pass as root; a file in the way fails for all.
  std::ofstream(tmp_ / "file-not-dir") << "x";
  const auto result = run({"clip.mp4", "--svt", tool("record_svt")},
                          {{"TMPDIR", (tmp_ / "file-not-dir" / "deeper").string()}});
  expect_failure(result, error_with_cause("create work dir", "Not a directory"));
}

TEST_F(EncpipeFailure, WorkDirPlantedAsSymlinkIsRefusedAndNotFollowed) {
  fs::create_directory(tmp_ / "elsewhere");
  fs::create_directory_symlink(tmp_ / "elsewhere", work_dir());
  const auto result = run({"clip.mp4", "--svt", tool("record_svt")});
  expect_failure(result,
                 error_with_cause("create work dir",
                                  fmt::format("work directory {} is a symbolic link", work_dir().string())));
  EXPECT_TRUE(fs::is_empty(tmp_ / "elsewhere"));
}

TEST_F(EncpipeFailure, SecondRunOnTheSameStemFailsAtOnceAndLeavesTheFirstRunsFiles) {
  make_private_work_dir();
  std::ofstream(work_dir() / "roi.txt") << "0 -30\n";
  const quen::Fd held(open(work_dir().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  ASSERT_TRUE(held);
  ASSERT_EQ(flock(held.get(), LOCK_EX | LOCK_NB), 0);

  const auto result = run({"clip.mp4", "--svt", tool("record_svt")});
  expect_failure(result,
                 error_with_cause("create work dir", fmt::format("work directory {} is in use by another "
                                                                 "encpipe run",
                                                                 work_dir().string())));
  EXPECT_EQ(slurp(work_dir() / "roi.txt"), "0 -30\n");
  EXPECT_TRUE(fs::is_empty(records()));
}

TEST_F(EncpipeFailure, OutputThatWouldDestroyTheInputIsRefusedBeforeAnything) {
  fs::copy_file(av_clip(), tmp_ / "v.mp4");
  const auto bytes = slurp(tmp_ / "v.mp4");
  fs::create_directory(tmp_ / "sub");
  fs::create_hard_link(tmp_ / "v.mp4", tmp_ / "hard.mp4");
  fs::create_symlink("v.mp4", tmp_ / "soft.mp4");
  const auto names_input = [](const std::string& output) {
    return fmt::format("Error: the output path names the input video itself: {}\n", output);
  };
  const auto in_work_dir = [&](const std::string& output) {
    return fmt::format("Error: the output path lies in the work directory {}, which the run removes: {}\n",
                       (tmp_ / "quenav1_v").string(), output);
  };
  const std::vector<std::pair<std::string, std::string>> cases{
      {"./v.mp4", names_input("./v.mp4")},
      {(tmp_ / "v.mp4").string(), names_input((tmp_ / "v.mp4").string())},
      {"sub/../v.mp4", names_input("sub/../v.mp4")},
      {"hard.mp4", names_input("hard.mp4")},
      {"soft.mp4", names_input("soft.mp4")},
      {"quenav1_v/out.av1", in_work_dir("quenav1_v/out.av1")},
  };
  for (const auto& [output, report] : cases) {
    SCOPED_TRACE(output);
    expect_failure(run({"v.mp4", "-o", output, "--svt", tool("record_svt")}), report);
    EXPECT_EQ(slurp(tmp_ / "v.mp4"), bytes);
    EXPECT_FALSE(fs::exists(tmp_ / "quenav1_v"));
    EXPECT_TRUE(fs::is_empty(records()));
  }

  // FFmpeg opens "file:v.mp4" as v.mp4.
  expect_failure(run({"file:v.mp4", "-o", "v.mp4", "--svt", tool("record_svt")}), names_input("v.mp4"));
  EXPECT_EQ(slurp(tmp_ / "v.mp4"), bytes);

  // A link that points nowhere until the run makes its work directory.
  fs::create_directory_symlink(tmp_ / "quenav1_v", tmp_ / "lnk");
  expect_failure(run({"v.mp4", "-o", "lnk/final.mp4", "--svt", tool("record_svt")}),
                 in_work_dir("lnk/final.mp4"));
  EXPECT_TRUE(fs::is_empty(records()));
  EXPECT_FALSE(fs::exists(tmp_ / "quenav1_v"));
  fs::remove(tmp_ / "lnk");

  // An input inside the work directory would go with it after the run.
  fs::create_directory(tmp_ / "quenav1_v");
  fs::rename(tmp_ / "v.mp4", tmp_ / "quenav1_v" / "v.mp4");
  expect_failure(run({"quenav1_v/v.mp4", "--svt", tool("record_svt")}),
                 fmt::format("Error: the input video lies in the work directory {}, which the run removes: "
                             "quenav1_v/v.mp4\n",
                             (tmp_ / "quenav1_v").string()));
  EXPECT_EQ(slurp(tmp_ / "quenav1_v" / "v.mp4"), bytes);
}

// ---- analysis and map ----

TEST_F(EncpipeFailure, MissingInputFailsAfterTheStepLineAndKeepsTheWorkDir) {
  const auto result = run({"missing.mp4", "--svt", tool("record_svt")});
  EXPECT_EQ(result.exit_code, 1);
  const std::string head =
      "=== zantolo-svtav1-quen (QuenAV1 end-to-end) ===\n"
      "input:    missing.mp4\n"
      "output:   missing_quenav1.mp4\n"
      "qp_range: 30\n"
      "settings: agg=p75 segments=5 crf=32 preset=8\n"
      "\n[1/3] QuenMAP analysis + ROI map generation\n"
      "Error: open input\n\nCaused by:\n";
  EXPECT_EQ(result.err.substr(0, head.size()), head);
  EXPECT_TRUE(fs::is_directory(tmp_ / "quenav1_missing"));
  EXPECT_TRUE(fs::is_empty(tmp_ / "quenav1_missing"));
}

TEST_F(EncpipeFailure, InputThatCannotBeReadThreeTimesIsRefusedBeforeAnything) {
  // Read by the analysis, it would leave the decoding ffmpeg waiting.
  ASSERT_EQ(mkfifo((tmp_ / "fifo.mp4").c_str(), 0600), 0);
  expect_failure(
      run({"fifo.mp4", "--svt", tool("record_svt")}),
      "Error: the input video fifo.mp4 is a pipe, which cannot be read three times: encpipe reads it "
      "once for the analysis, once to encode and once to mux\n");
  EXPECT_FALSE(fs::exists(tmp_ / "quenav1_fifo"));
}

TEST_F(EncpipeFailure, VideoWithoutAWholeBlockIsRefusedBeforeAnyMap) {
  const auto clip = quen::testing::make_clip(
      "encpipe_6x6_5.nut",
      {"-f", "lavfi", "-i", "testsrc2=size=6x6:rate=25", "-frames:v", "5", "-c:v", "ffv1"});
  fs::create_symlink(clip, tmp_ / "tiny.nut");
  const auto result = run({"tiny.nut", "--svt", tool("record_svt")});
  EXPECT_EQ(result.exit_code, 1);
  EXPECT_THAT(result.err,
              EndsWith(error_with_cause("Pass 1 decode",
                                        "Video too small to analyse: 6x6 (needs at least 8x8 pixels)")));
  EXPECT_TRUE(fs::is_empty(tmp_ / "quenav1_tiny"));
}

TEST_F(EncpipeFailure, SingleFrameIsRefusedBeforeAnyMap) {
  fs::create_symlink(quen::testing::testsrc_clip(128, 64, 1), tmp_ / "one.mp4");
  const auto result = run({"one.mp4", "--svt", tool("record_svt")});
  EXPECT_EQ(result.exit_code, 1);
  // The error comes straight after the analysis' own lines.
  EXPECT_TRUE(std::regex_search(result.err, std::regex("QuenMapEncoder: [^\n]*\nError: [^\n]*frame")))
      << result.err;
  EXPECT_EQ(result.err.find("ROI map:"), std::string::npos);
  EXPECT_TRUE(fs::is_empty(tmp_ / "quenav1_one"));
}

TEST_F(EncpipeFailure, MapPathPlantedAsSymlinkIsNotFollowed) {
  make_private_work_dir();
  std::ofstream(tmp_ / "precious.txt") << "keep me";
  fs::create_symlink(tmp_ / "precious.txt", work_dir() / "roi.txt");
  const auto result = run({"clip.mp4", "--svt", tool("record_svt")});
  EXPECT_EQ(result.exit_code, 1);
  EXPECT_THAT(result.err, EndsWith("QuenMapEncoder: 128x64 -> 16x8 blocks (8x8), 25/1fps\n" +
                                   error_with_cause("create ROI map", "Too many levels of symbolic links")));
  EXPECT_EQ(slurp(tmp_ / "precious.txt"), "keep me");
  EXPECT_TRUE(fs::is_empty(records()));
}

// ---- the encode pipe ----

TEST_F(EncpipeFailure, DecoderThatCannotStartFailsRightAfterTheStepLine) {
  const auto result = run({"clip.mp4", "--ffmpeg", "/nonexistent/ffmpeg", "--svt", tool("record_svt")});
  expect_failure(result, until_encode() + error_with_cause("spawn ffmpeg", "No such file or directory"));
  EXPECT_TRUE(fs::is_empty(records()));  // no encoder started
  EXPECT_TRUE(fs::exists(work_dir() / "roi.txt"));
}

// Processes other than zombies in process group `group`: encpipe's children
// stay in the group that the test harness makes for it.
std::vector<pid_t> live_group_members(pid_t group) {
  std::vector<pid_t> members;
  for (const auto& entry : fs::directory_iterator("/proc")) {
    std::ifstream stat(entry.path() / "stat");
    std::string line;
    if (!std::getline(stat, line)) continue;
    // pid (comm) state ppid pgrp ...; comm may hold spaces.
    std::istringstream fields(line.substr(line.rfind(')') + 2));
    std::string state;
    pid_t parent = 0, pgrp = 0;
    if (fields >> state >> parent >> pgrp && pgrp == group && state != "Z") {
      members.push_back(std::stoi(entry.path().filename().string()));
    }
  }
  return members;
}

// A decoder still opening a slow input would otherwise run on after encpipe
// has exited, for as long as the input keeps it waiting.
TEST_F(EncpipeFailure, EncoderThatCannotStartStopsTheDecoderBeforeExiting) {
  pid_t encpipe = -1;
  const auto result =
      run({"clip.mp4", "--ffmpeg", tool("record_ffmpeg"), "--svt", (tmp_ / "no-encoder").string()},
          {{"QUEN_FFMPEG_DECODE", "slow-open"}}, [&](pid_t pid) { encpipe = pid; });
  expect_failure(result,
                 until_encode() + error_with_cause("spawn SvtAv1EncApp", "No such file or directory"));
  ASSERT_GT(encpipe, 0);
  // A helper that the stand-in's shell had just started may take a moment
  // to end after the shell; a decoder left running stays.
  for (int i = 0; i < 200 && !live_group_members(encpipe).empty(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  EXPECT_TRUE(live_group_members(encpipe).empty());
  kill(-encpipe, SIGKILL);  // whatever was left, so that it does not outlive the test
  EXPECT_FALSE(read_record(records(), "record_ffmpeg", 1));
}

struct EncoderEnd {
  const char* name;
  const char* mode;  // QUEN_SVT_MODE of record_svt
  int wait_status;
};

void PrintTo(const EncoderEnd& param, std::ostream* out) {
  *out << param.name;
}

class EncoderFailure : public EncpipeFailure, public ::testing::WithParamInterface<EncoderEnd> {};

TEST_P(EncoderFailure, ReportsTheWaitStatusAndKeepsTheWorkDir) {
  const auto result = run({"clip.mp4", "--svt", tool("record_svt")}, {{"QUEN_SVT_MODE", GetParam().mode}});
  expect_failure(
      result, until_encode() + fmt::format("Error: SvtAv1EncApp failed: ExitStatus(unix_wait_status({}))\n",
                                           GetParam().wait_status));
  EXPECT_TRUE(fs::exists(work_dir() / "roi.txt"));
}

INSTANTIATE_TEST_SUITE_P(Ends, EncoderFailure,
                         ::testing::Values(EncoderEnd{"Exit1", "consume-exit:1", 256},
                                           EncoderEnd{"Exit3AtOnce", "exit-now:3", 768},
                                           EncoderEnd{"KilledBySignal9", "kill9", 9}),
                         [](const auto& info) { return std::string(info.param.name); });

// Whether a process crashing on SIGSEGV here leaves a core dump (a wait
// status of 128 + 11), asked the way the stand-in crashes.
bool system_writes_core_dumps(const fs::path& cwd) {
  const auto command =
      fmt::format("cd '{}' && ulimit -S -c unlimited 2>/dev/null; kill -SEGV $$", cwd.string());
  return encpipe::spawn({"/bin/bash", "-c", command}).wait() == 139;
}

TEST_F(EncpipeFailure, EncoderCrashingWithCoreDump) {
  if (!system_writes_core_dumps(tmp_.path())) GTEST_SKIP() << "this system writes no core dumps";
  const auto result = run({"clip.mp4", "--svt", tool("record_svt")}, {{"QUEN_SVT_MODE", "segv"}});
  expect_failure(result, until_encode() + "Error: SvtAv1EncApp failed: ExitStatus(unix_wait_status(139))\n");
}

// The decoder's own failure, which an encoder that exits 0 would hide.
TEST_F(EncpipeFailure, DecoderFailingWhileEncoderSucceedsIsReported) {
  const auto result = run({"clip.mp4", "--ffmpeg", tool("record_ffmpeg"), "--svt", tool("record_svt")},
                          {{"QUEN_FFMPEG_DECODE", "exit:3"}});
  expect_failure(result, until_encode() + "Error: ffmpeg failed: ExitStatus(unix_wait_status(768))\n");
  EXPECT_TRUE(read_record(records(), "record_svt"));
}

TEST_F(EncpipeFailure, DecoderKilledEndsTheRunPromptly) {
  const auto result = run({"clip.mp4", "--ffmpeg", tool("record_ffmpeg"), "--svt", tool("record_svt")},
                          {{"QUEN_FFMPEG_DECODE", "kill9"}});
  expect_failure(result, until_encode() + "Error: ffmpeg failed: ExitStatus(unix_wait_status(9))\n");
}

TEST_F(EncpipeFailure, EncoderExitingAtOnceWithoutReadingEndsTheRunPromptly) {
  // The decoder then meets a pipe without readers; ffmpeg ignores SIGPIPE
  // itself and fails on the write, which is what gets reported.
  const auto result = run({"clip.mp4", "--svt", tool("record_svt")}, {{"QUEN_SVT_MODE", "exit-now:0"}});
  EXPECT_FALSE(result.timed_out);
  EXPECT_EQ(result.exit_code, 1);
  const auto head = until_encode();
  EXPECT_EQ(result.err.substr(0, head.size()), head);
  EXPECT_TRUE(std::regex_match(
      result.err.substr(head.size()),
      std::regex("Error: ffmpeg failed: ExitStatus\\(unix_wait_status\\([1-9][0-9]*\\)\\)\n")))
      << result.err;
}

// The encoder exits 0 on a stream it could not finish writing, as on a full
// disk: nothing is muxed from it and it stays for a look.
TEST_F(EncpipeFailure, Av1StreamCutShortFailsBeforeTheMuxAndKeepsTheWorkDir) {
  const auto result = run({"clip.mp4", "--ffmpeg", tool("record_ffmpeg"), "--svt", tool("record_svt")},
                          {{"QUEN_SVT_MODE", "truncated-ivf"}});
  expect_failure(result,
                 until_encode() + fmt::format("Error: AV1 stream {} breaks off at byte 112: frame cut "
                                              "short, 60 of 100 bytes\n",
                                              (work_dir() / "out.av1").string()));
  EXPECT_TRUE(read_record(records(), "record_ffmpeg", 0));
  EXPECT_FALSE(read_record(records(), "record_ffmpeg", 1));  // no mux
  EXPECT_EQ(fs::file_size(work_dir() / "out.av1"), 184u);
  EXPECT_GT(fs::file_size(work_dir() / "roi.txt"), 0u);
}

// The real encoder takes the frame size from the stream it reads, whatever
// -w and -h say: frames of another size than the analysed ones would put
// the whole map on the wrong blocks, so nothing is muxed from them.
TEST_F(EncpipeFailure, EncoderGivenFramesOfAnotherSizeFailsBeforeTheMux) {
  const auto result = run({"clip.mp4", "--ffmpeg", tool("record_ffmpeg"), "--svt", tool("record_svt")},
                          {{"QUEN_FFMPEG_DECODE", "crop"}, {"QUEN_SVT_MODE", "encode"}});
  expect_failure(result, until_encode() +
                             "Error: SvtAv1EncApp encoded frames of 64x64, but the ROI map was made for "
                             "frames of 128x64\n");
  EXPECT_FALSE(read_record(records(), "record_ffmpeg", 1));  // no mux
  EXPECT_GT(fs::file_size(work_dir() / "out.av1"), 32u);
}

// ---- stopped by a signal ----

// Whether process `pid` is blocked writing into a full pipe.
bool blocked_on_full_pipe(pid_t pid) {
  std::ifstream wchan(fmt::format("/proc/{}/wchan", pid));
  std::string where;
  return std::getline(wchan, where) && where.find("pipe_write") != std::string::npos;
}

// An address that takes a connection and then sends nothing: opening it as
// the input keeps the analysis waiting, with no child started yet.
class SilentServer {
 public:
  SilentServer() : listener_(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    EXPECT_EQ(bind(listener_.get(), reinterpret_cast<sockaddr*>(&address), length), 0);
    EXPECT_EQ(listen(listener_.get(), 1), 0);
    EXPECT_EQ(getsockname(listener_.get(), reinterpret_cast<sockaddr*>(&address), &length), 0);
    port_ = ntohs(address.sin_port);
  }
  std::string url() const { return fmt::format("tcp://127.0.0.1:{}", port_); }
  // True once a client has connected; the connection is kept open.
  bool connected() {
    if (!client_)
      client_ = quen::Fd(accept4(listener_.get(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC));
    return client_.valid();
  }

 private:
  quen::Fd listener_;
  quen::Fd client_;
  int port_ = 0;
};

struct StopAt {
  const char* name;
  int sig;
  bool to_group;  // Ctrl-C signals the whole process group
};

void PrintTo(const StopAt& param, std::ostream* out) {
  *out << param.name;
}

class StoppedBySignal : public EncpipeFailure, public ::testing::WithParamInterface<StopAt> {};

// One stop signal, sent to encpipe alone as a job scheduler or `timeout`
// sends it, or to its whole group as Ctrl-C does, ends encpipe by that
// signal within seconds: no child outlives it and its work directory stays.
TEST_P(StoppedBySignal, EndsByThatSignalAndNoChildOutlivesIt) {
  const std::string name = GetParam().name;
  // The real ffmpeg decodes: it catches SIGINT and SIGTERM and goes on
  // with its blocked write, which only a pipe without readers ends.
  std::vector<std::string> args{"clip.mp4", "--ffmpeg", tool("record_ffmpeg"), "--svt", tool("record_svt")};
  std::map<std::string, std::optional<std::string>> env{{"QUEN_SVT_MODE", "hang"}};
  std::string work_dir_name = "quenav1_clip";
  std::function<bool()> ready = [&] {
    const auto decoder = read_record(records(), "record_ffmpeg");
    return decoder && read_record(records(), "record_svt") && blocked_on_full_pipe(decoder->pid);
  };
  SilentServer server;
  if (name == "Analysis") {
    args.front() = server.url();
    work_dir_name = "quenav1_127.0.0";
    ready = [&] { return server.connected(); };
  }
  if (name == "MuxIgnoringTheSignal") {
    args.back() = tool("fake_svt");
    env = {{"QUEN_FFMPEG_MUX", "hang"}};
    ready = [&] { return read_record(records(), "record_ffmpeg", 1).has_value(); };
  }
  env.emplace("TMPDIR", tmp_.path().string());
  env.emplace("QUEN_RECORD_DIR", records().string());

  pid_t encpipe = -1;
  std::chrono::steady_clock::time_point signalled;
  const auto result = run_encpipe(
      args,
      {.env = env, .cwd = tmp_.path(), .time_limit = std::chrono::seconds(60), .after_start = [&](pid_t pid) {
         encpipe = pid;
         for (int i = 0; i < 600 && !ready(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
         signalled = std::chrono::steady_clock::now();
         kill(GetParam().to_group ? -pid : pid, GetParam().sig);
       }});
  const auto took = std::chrono::steady_clock::now() - signalled;
  EXPECT_FALSE(result.timed_out);
  EXPECT_EQ(result.signal, GetParam().sig) << result.err;
  // A child that ignores the signal is killed after 5 seconds.
  EXPECT_LT(took, std::chrono::seconds(15));
  EXPECT_EQ(result.err.find("Error:"), std::string::npos) << result.err;
  ASSERT_GT(encpipe, 0);
  EXPECT_TRUE(live_group_members(encpipe).empty());
  kill(-encpipe, SIGKILL);  // whatever was left, so that it does not outlive the test
  if (name != "Analysis") {
    EXPECT_TRUE(fs::exists(work_dir() / "roi.txt"));
  }
  EXPECT_TRUE(fs::is_directory(tmp_ / work_dir_name));
}

INSTANTIATE_TEST_SUITE_P(Steps, StoppedBySignal,
                         ::testing::Values(StopAt{"Analysis", SIGINT, false},
                                           StopAt{"EncodeWithTheDecoderBlocked", SIGTERM, false},
                                           StopAt{"EncodeWithTheDecoderBlockedCtrlC", SIGINT, true},
                                           // `timeout -s ALRM`, or an alarm set before exec
                                           StopAt{"EncodeByAnAlarmFromOutside", SIGALRM, false},
                                           StopAt{"MuxIgnoringTheSignal", SIGHUP, false}),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- the mux ----

// Found out before the analysis and the encode, not at the mux after them.
TEST_F(EncpipeFailure, OutputThatCannotBeMadeFailsBeforeTheBanner) {
  fs::create_directory(tmp_ / "adir");
  std::ofstream(tmp_ / "afile") << "x";
  const std::vector<std::pair<std::string, std::string>> cases{
      {"nodir/out.mp4", "No such file or directory"},
      {"adir", "Is a directory"},
      {"adir/", "Is a directory"},
      {"afile/out.mp4", "Not a directory"},
  };
  for (const auto& [output, reason] : cases) {
    SCOPED_TRACE(output);
    expect_failure(run({"clip.mp4", "-o", output, "--svt", tool("fake_svt")}),
                   error_with_cause("create output " + output, reason));
    EXPECT_FALSE(fs::exists(work_dir()));
    EXPECT_TRUE(fs::is_empty(records()));
  }
  EXPECT_TRUE(fs::is_empty(tmp_ / "adir"));
}

// Whether process `pid` has a file open whose name holds `name`.
bool has_open(pid_t pid, const std::string& name) {
  std::error_code error;
  for (fs::directory_iterator fd(fmt::format("/proc/{}/fd", pid), error), end; !error && fd != end;
       fd.increment(error)) {
    std::error_code unreadable;
    if (fs::read_symlink(fd->path(), unreadable).filename().string().find(name) != std::string::npos) {
      return true;
    }
  }
  return false;
}

std::set<std::string> names_in(const fs::path& dir) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir)) names.insert(entry.path().filename().string());
  return names;
}

// The real ffmpeg muxes. Stopped while it writes, it catches the signal and
// finishes a playable part of the video; failing, it has written most of
// one. Neither may appear at the output path, nor replace an output that is
// there, and nothing of the run's stays beside it.
TEST_F(EncpipeFailure, MuxStoppedOrFailingLeavesTheOutputAsItWas) {
  const auto output = tmp_ / "clip_quenav1.mp4";
  for (const bool existing : {false, true}) {
    for (const bool stopped : {true, false}) {
      SCOPED_TRACE(
          fmt::format("{} output, mux {}", existing ? "existing" : "new", stopped ? "stopped" : "failing"));
      fs::remove_all(records());
      fs::create_directory(records());
      fs::remove(output);
      if (existing) std::ofstream(output) << "an earlier run's output\n";
      auto expected_names = names_in(tmp_.path());
      expected_names.insert(work_dir().filename().string());

      const auto stop_while_writing = [&](pid_t pid) {
        if (!stopped) return;
        for (int i = 0; i < 600; ++i) {
          const auto mux = read_record(records(), "record_ffmpeg", 1);
          if (mux && has_open(mux->pid, output.filename().string())) break;
          std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        kill(pid, SIGTERM);
      };
      const auto result =
          run({"clip.mp4", "--ffmpeg", tool("record_ffmpeg"), "--svt", tool("fake_svt")},
              {{"QUEN_FFMPEG_MUX", stopped ? "slow" : "fail-after-writing"}}, stop_while_writing);
      EXPECT_FALSE(result.timed_out);
      if (stopped) {
        EXPECT_EQ(result.signal, SIGTERM) << result.err;
      } else {
        EXPECT_EQ(result.exit_code, 1);
        EXPECT_THAT(result.err, EndsWith("\n[3/3] Mux to MP4 with audio passthrough\nError: mux failed\n"));
      }
      if (existing) {
        EXPECT_TRUE(slurp(output) == "an earlier run's output\n") << "the earlier output was replaced";
      } else {
        EXPECT_FALSE(fs::exists(output));
      }
      EXPECT_EQ(names_in(tmp_.path()), expected_names);
    }
  }
}

// ffmpeg exits 0 without writing anything when it is told to quit early; the
// file it was to write is ours, empty.
TEST_F(EncpipeFailure, MuxThatLeavesNoOutputIsNoSuccess) {
  const auto result = run({"clip.mp4", "--ffmpeg", tool("record_ffmpeg"), "--svt", tool("fake_svt")},
                          {{"QUEN_FFMPEG_MUX", "no-output"}});
  EXPECT_EQ(result.exit_code, 1);
  EXPECT_THAT(result.err, EndsWith(" MB)\n\n[3/3] Mux to MP4 with audio passthrough\n"
                                   "Error: mux failed: the output clip_quenav1.mp4 is empty\n"));
  EXPECT_FALSE(fs::exists(tmp_ / "clip_quenav1.mp4"));
  EXPECT_TRUE(fs::exists(work_dir() / "out.av1"));
}

TEST_F(EncpipeFailure, MuxProgramThatCannotStart) {
  // An ffmpeg that is there for the decode and gone for the mux.
  fs::create_directory(tmp_ / "bin");
  fs::copy_file(tool("record_ffmpeg"), tmp_ / "bin" / "record_ffmpeg");
  fs::copy_file(tool("record_lib.sh"), tmp_ / "bin" / "record_lib.sh");
  const auto result =
      run({"clip.mp4", "--ffmpeg", (tmp_ / "bin" / "record_ffmpeg").string(), "--svt", tool("fake_svt")},
          {{"QUEN_FFMPEG_DECODE", "remove-self"}});
  EXPECT_EQ(result.exit_code, 1);
  EXPECT_THAT(result.err, EndsWith(" MB)\n\n[3/3] Mux to MP4 with audio passthrough\n" +
                                   error_with_cause("spawn ffmpeg mux", "No such file or directory")));
  EXPECT_TRUE(fs::exists(work_dir() / "out.av1"));
}

}  // namespace
}  // namespace encpipe_test
