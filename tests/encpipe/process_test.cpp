#include "process.hpp"

#include "temp_dir.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <system_error>

namespace encpipe {
namespace {

namespace fs = std::filesystem;
using quen::testing::slurp;
using quen::testing::TempDir;

std::string read_all(const quen::Fd& fd) {
  std::string text;
  char buffer[4096];
  for (;;) {
    const ssize_t n = read(fd.get(), buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return text;
    text.append(buffer, static_cast<std::size_t>(n));
  }
}

void write_all(const quen::Fd& fd, std::string_view text) {
  while (!text.empty()) {
    const ssize_t n = write(fd.get(), text.data(), text.size());
    ASSERT_GT(n, 0);
    text.remove_prefix(static_cast<std::size_t>(n));
  }
}

// Runs a shell command with its standard output on a pipe and gives what it
// printed; its other streams are set by `stdio`.
std::string shell_output(const std::string& command, ChildStdio stdio = {}) {
  stdio.out = Stdio::pipe();
  auto child = spawn({"/bin/sh", "-c", command}, stdio);
  const auto text = read_all(child.take_stdout());
  EXPECT_EQ(child.wait(), 0);
  return text;
}

std::string link_target(const std::string& path) {
  std::error_code error;
  return fs::read_symlink(path, error).string();
}

TEST(Spawn, PipesCarryEachStandardStream) {
  TempDir tmp("process");
  auto child = spawn({"/bin/sh", "-c", "cat > \"$0\"; echo out; echo err >&2", (tmp / "in.txt").string()},
                     {.in = Stdio::pipe(), .out = Stdio::pipe(), .err = Stdio::pipe()});
  {
    const quen::Fd in = child.take_stdin();
    write_all(in, "line one\nline two\n");
  }
  EXPECT_EQ(read_all(child.take_stdout()), "out\n");
  EXPECT_EQ(read_all(child.take_stderr()), "err\n");
  EXPECT_EQ(child.wait(), 0);
  EXPECT_EQ(slurp(tmp / "in.txt"), "line one\nline two\n");
  EXPECT_FALSE(child.take_stdout());  // taken once only
}

TEST(Spawn, NullDeviceForEachStream) {
  EXPECT_EQ(shell_output("readlink /proc/$$/fd/0", {.in = Stdio::null_device()}), "/dev/null\n");
  // Through a substitution, so that $$ is the shell whose streams were set.
  auto child = spawn({"/bin/sh", "-c", "link=$(readlink /proc/$$/fd/1); echo \"$link\" >&2"},
                     {.out = Stdio::null_device(), .err = Stdio::pipe()});
  EXPECT_EQ(read_all(child.take_stderr()), "/dev/null\n");
  EXPECT_EQ(child.wait(), 0);
  EXPECT_EQ(shell_output("readlink /proc/$$/fd/2", {.err = Stdio::null_device()}), "/dev/null\n");
}

TEST(Spawn, InheritedStreamsAreOurs) {
  EXPECT_EQ(shell_output("readlink /proc/$$/fd/0"), link_target("/proc/self/fd/0") + "\n");
  EXPECT_EQ(shell_output("readlink /proc/$$/fd/2"), link_target("/proc/self/fd/2") + "\n");
}

TEST(Spawn, GivenDescriptorBecomesTheStreamEvenWhenCloseOnExec) {
  TempDir tmp("process");
  const auto path = tmp / "out.txt";
  const quen::Fd file(open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600));
  ASSERT_TRUE(file);
  auto child = spawn({"/bin/sh", "-c", "echo written"}, {.out = Stdio::descriptor(file.get())});
  EXPECT_EQ(child.wait(), 0);
  EXPECT_EQ(slurp(path), "written\n");
}

TEST(Spawn, GivenStandardDescriptorIsTakenBeforeOtherStreamsReplaceIt) {
  // Our standard input handed over as the child's standard output, while
  // the child's standard input becomes a new pipe.
  auto child = spawn({"/bin/sh", "-c", "link=$(readlink /proc/$$/fd/1); echo \"$link\" >&2"},
                     {.in = Stdio::pipe(), .out = Stdio::descriptor(STDIN_FILENO), .err = Stdio::pipe()});
  child.take_stdin().close();
  EXPECT_EQ(read_all(child.take_stderr()), link_target("/proc/self/fd/0") + "\n");
  EXPECT_EQ(child.wait(), 0);
}

TEST(Spawn, PipeEndsAreCloseOnExecAndReachNoChild) {
  auto writer =
      spawn({"sleep", "60"}, {.in = Stdio::pipe(), .out = Stdio::null_device(), .err = Stdio::null_device()});
  const quen::Fd our_end = writer.take_stdin();
  EXPECT_NE(fcntl(our_end.get(), F_GETFD) & FD_CLOEXEC, 0);

  // A second child started meanwhile gets neither our end of the first
  // child's pipe nor our end of its own.
  // "; true" keeps the shell from replacing itself by ls, whose own
  // descriptors would be listed then.
  auto lister = spawn({"/bin/sh", "-c", "ls /proc/$$/fd; true"}, {.out = Stdio::pipe()});
  const quen::Fd listing = lister.take_stdout();
  std::istringstream fds(read_all(listing));
  EXPECT_EQ(lister.wait(), 0);
  std::set<int> open_in_child;
  for (std::string fd; std::getline(fds, fd);) open_in_child.insert(std::stoi(fd));
  EXPECT_TRUE(open_in_child.contains(1));
  EXPECT_FALSE(open_in_child.contains(our_end.get()));
  EXPECT_FALSE(open_in_child.contains(listing.get()));
  kill(writer.pid(), SIGKILL);
  EXPECT_EQ(writer.wait(), SIGKILL);
}

TEST(Spawn, FirstArgumentIsTheProgramTextUnchanged) {
  // "; true" keeps the shell from replacing itself by tr.
  EXPECT_EQ(shell_output("tr '\\0' '\\n' < /proc/$$/cmdline; true"),
            "/bin/sh\n-c\ntr '\\0' '\\n' < /proc/$$/cmdline; true\n");
  auto child = spawn({"sh", "-c", "tr '\\0' ' ' < /proc/$$/cmdline; true", "x y"}, {.out = Stdio::pipe()});
  EXPECT_EQ(read_all(child.take_stdout()), std::string("sh -c tr '\\0' ' ' < /proc/$$/cmdline; true x y "));
  EXPECT_EQ(child.wait(), 0);
}

class CurrentDirectory : public ::testing::Test {
 protected:
  void SetUp() override {
    old_cwd_ = fs::current_path();
    fs::current_path(tmp_.path());
    std::ofstream(tmp_ / "quen_local_tool") << "#!/bin/sh\necho local tool\n";
    fs::permissions(tmp_ / "quen_local_tool", fs::perms::owner_all);
    old_path_ = std::getenv("PATH");
  }
  void TearDown() override {
    fs::current_path(old_cwd_);
    setenv("PATH", old_path_.c_str(), 1);
  }
  TempDir tmp_{"process"};
  fs::path old_cwd_;
  std::string old_path_;
};

TEST_F(CurrentDirectory, TextWithSlashIsAPathAndTextWithoutIsLookedUpAlongPath) {
  auto local = spawn({"./quen_local_tool"}, {.out = Stdio::pipe()});
  EXPECT_EQ(read_all(local.take_stdout()), "local tool\n");
  EXPECT_EQ(local.wait(), 0);

  // Not on PATH: the current directory is not searched.
  try {
    spawn({"quen_local_tool"});
    ADD_FAILURE() << "started a program that is not on PATH";
  } catch (const std::system_error& e) {
    EXPECT_EQ(e.code().value(), ENOENT);
  }

  setenv("PATH", (old_path_ + ":" + tmp_.path().string()).c_str(), 1);
  auto found = spawn({"quen_local_tool"}, {.out = Stdio::pipe()});
  EXPECT_EQ(read_all(found.take_stdout()), "local tool\n");
  EXPECT_EQ(found.wait(), 0);
}

TEST(Spawn, MissingProgramThrowsTheSystemsError) {
  try {
    spawn({"/nonexistent/ffmpeg", "-y"});
    FAIL() << "no error";
  } catch (const std::system_error& e) {
    EXPECT_EQ(e.code().value(), ENOENT);
    EXPECT_STREQ(e.what(), "No such file or directory");
  }
  TempDir tmp("process");
  std::ofstream(tmp / "not_executable") << "#!/bin/sh\n";
  try {
    spawn({(tmp / "not_executable").string()});
    FAIL() << "no error";
  } catch (const std::system_error& e) {
    EXPECT_EQ(e.code().value(), EACCES);
  }
}

class IgnoringSigpipe : public ::testing::Test {
 protected:
  void SetUp() override { old_ = signal(SIGPIPE, SIG_IGN); }
  void TearDown() override { signal(SIGPIPE, old_); }
  sighandler_t old_ = SIG_DFL;
};

TEST_F(IgnoringSigpipe, ChildStartsWithSigpipeAtItsDefault) {
  // SigIgn is a hex mask; SIGPIPE is its bit 12.
  const auto mask = shell_output("sed -n 's/^SigIgn:[[:space:]]*//p' /proc/$$/status");
  EXPECT_EQ(std::stoull(mask, nullptr, 16) & (1ULL << (SIGPIPE - 1)), 0u);

  // So a writer whose reader is gone ends by the signal instead of looping
  // on EPIPE.
  auto writer = spawn({"yes"}, {.out = Stdio::pipe()});
  writer.take_stdout().close();
  EXPECT_EQ(writer.wait(), SIGPIPE);
}

TEST(Wait, StatusIsWhatWaitpidReports) {
  EXPECT_EQ(spawn({"/bin/sh", "-c", "exit 0"}).wait(), 0);
  EXPECT_EQ(spawn({"/bin/sh", "-c", "exit 1"}).wait(), 256);
  EXPECT_EQ(spawn({"/bin/sh", "-c", "exit 3"}).wait(), 768);
  EXPECT_EQ(spawn({"/bin/sh", "-c", "kill -KILL $$"}).wait(), 9);
  EXPECT_EQ(spawn({"/bin/sh", "-c", "kill -TERM $$"}).wait(), 15);
}

TEST(Wait, SecondWaitFailsInsteadOfTakingAnotherChild) {
  auto child = spawn({"/bin/true"});
  EXPECT_EQ(child.wait(), 0);
  auto other = spawn({"/bin/sh", "-c", "exit 4"});
  try {
    child.wait();
    FAIL() << "waited twice";
  } catch (const std::system_error& e) {
    EXPECT_EQ(e.code().value(), ECHILD);
  }
  EXPECT_EQ(other.wait(), 1024);
}

TEST(Child, OwnerReapsItAndClosesItsPipeFirst) {
  pid_t pid = -1;
  {
    // Would write for ever if our end of its pipe stayed open.
    auto writer = spawn({"yes"}, {.out = Stdio::pipe()});
    pid = writer.pid();
  }
  int status = 0;
  EXPECT_EQ(waitpid(pid, &status, WNOHANG), -1);
  EXPECT_EQ(errno, ECHILD);
}

// A child with no pipe to notice, such as a decoder still opening a slow
// input, would keep a failed run waiting on it.
TEST(Child, OwnerStopsAChildThatWouldRunOnAndReapsIt) {
  pid_t pid = -1;
  {
    auto sleeper = spawn({"sleep", "600"});
    pid = sleeper.pid();
  }
  int status = 0;
  EXPECT_EQ(waitpid(pid, &status, WNOHANG), -1);
  EXPECT_EQ(errno, ECHILD);
}

}  // namespace
}  // namespace encpipe
