#include "process.hpp"

#include "stop_signals.hpp"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <array>
#include <cerrno>
#include <stdexcept>
#include <system_error>

extern char** environ;

namespace encpipe {
namespace {

[[noreturn]] void throw_system_error(int code) {
  throw std::system_error(code, std::generic_category());
}

void check(int rc) {
  if (rc != 0) throw_system_error(rc);
}

class FileActions {
 public:
  FileActions() { check(posix_spawn_file_actions_init(&actions_)); }
  ~FileActions() { posix_spawn_file_actions_destroy(&actions_); }
  FileActions(const FileActions&) = delete;
  FileActions& operator=(const FileActions&) = delete;

  // dup2 onto the target clears close-on-exec there, so a pipe end made
  // close-on-exec still reaches the child as its standard stream.
  void dup2(int fd, int target) { check(posix_spawn_file_actions_adddup2(&actions_, fd, target)); }
  void open(int target, const char* path, int flags) {
    check(posix_spawn_file_actions_addopen(&actions_, target, path, flags, 0));
  }
  const posix_spawn_file_actions_t* get() const { return &actions_; }

 private:
  posix_spawn_file_actions_t actions_;
};

class SpawnAttributes {
 public:
  SpawnAttributes() { check(posix_spawnattr_init(&attr_)); }
  ~SpawnAttributes() { posix_spawnattr_destroy(&attr_); }
  SpawnAttributes(const SpawnAttributes&) = delete;
  SpawnAttributes& operator=(const SpawnAttributes&) = delete;

  // An ignored signal stays ignored across exec; the children must not
  // inherit our SIGPIPE setting. Nor the stop signals that we hold back
  // while the child is started.
  void set_signals(const sigset_t& mask) {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGPIPE);
    check(posix_spawnattr_setsigdefault(&attr_, &set));
    check(posix_spawnattr_setsigmask(&attr_, &mask));
    check(posix_spawnattr_setflags(&attr_, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK));
  }
  const posix_spawnattr_t* get() const { return &attr_; }

 private:
  posix_spawnattr_t attr_;
};

// Moves a descriptor above the standard ones, so that the dup2 actions of
// one stream can never overwrite the pipe end meant for another.
quen::Fd above_standard_streams(quen::Fd fd) {
  if (fd.get() > STDERR_FILENO) return fd;
  const int moved = fcntl(fd.get(), F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
  if (moved < 0) throw_system_error(errno);
  return quen::Fd(moved);
}

struct PipeEnds {
  quen::Fd read;
  quen::Fd write;
};

PipeEnds make_pipe() {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) throw_system_error(errno);
  PipeEnds ends{quen::Fd(fds[0]), quen::Fd(fds[1])};
  ends.read = above_standard_streams(std::move(ends.read));
  ends.write = above_standard_streams(std::move(ends.write));
  return ends;
}

// Adds the actions that connect standard stream `target` as `stdio` says.
// Returns our end of a new pipe, and fills `child_end` with the end that we
// close once the child has started.
quen::Fd connect_stream(const Stdio& stdio, int target, FileActions& actions, quen::Fd& child_end) {
  const bool is_input = target == STDIN_FILENO;
  switch (stdio.kind) {
    case Stdio::Kind::inherit:
      return {};
    case Stdio::Kind::null_device:
      actions.open(target, "/dev/null", is_input ? O_RDONLY : O_WRONLY);
      return {};
    case Stdio::Kind::descriptor:
      if (stdio.fd <= STDERR_FILENO && stdio.fd != target) {
        // Another stream's action could replace it before it is copied.
        const int copy = fcntl(stdio.fd, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
        if (copy < 0) throw_system_error(errno);
        child_end = quen::Fd(copy);
        actions.dup2(child_end.get(), target);
      } else {
        actions.dup2(stdio.fd, target);
      }
      return {};
    case Stdio::Kind::pipe: {
      PipeEnds ends = make_pipe();
      child_end = std::move(is_input ? ends.read : ends.write);
      actions.dup2(child_end.get(), target);
      return std::move(is_input ? ends.write : ends.read);
    }
  }
  throw std::invalid_argument("unknown kind of standard stream");
}

std::vector<char*> argument_pointers(const std::vector<std::string>& argv) {
  std::vector<char*> pointers;
  pointers.reserve(argv.size() + 1);
  for (const auto& arg : argv) pointers.push_back(const_cast<char*>(arg.c_str()));
  pointers.push_back(nullptr);
  return pointers;
}

}  // namespace

Child::Child(pid_t pid, quen::Fd in, quen::Fd out, quen::Fd err) noexcept
    : pid_(pid), in_(std::move(in)), out_(std::move(out)), err_(std::move(err)) {}

Child::Child(Child&& other) noexcept
    : pid_(std::exchange(other.pid_, -1)),
      in_(std::move(other.in_)),
      out_(std::move(other.out_)),
      err_(std::move(other.err_)) {}

Child::~Child() {
  // Our pipe ends go first: a child blocked on a pipe that only we could
  // drain or fill then sees the pipe end and cannot keep us waiting.
  in_.close();
  out_.close();
  err_.close();
  if (pid_ < 0) return;
  stop_signals::stop_and_reap(std::exchange(pid_, -1));
}

int Child::wait() {
  // waitpid(-1) would take any child of ours: a child already waited for
  // has nothing left to wait for.
  if (pid_ < 0) throw_system_error(ECHILD);
  int status = 0;
  if (const int error = stop_signals::reap(std::exchange(pid_, -1), status); error != 0) {
    throw_system_error(error);
  }
  return status;
}

Child spawn(const std::vector<std::string>& argv, const ChildStdio& stdio) {
  if (argv.empty()) throw std::invalid_argument("spawn: no program given");
  FileActions actions;
  std::array<quen::Fd, 3> child_ends;
  quen::Fd in = connect_stream(stdio.in, STDIN_FILENO, actions, child_ends[0]);
  quen::Fd out = connect_stream(stdio.out, STDOUT_FILENO, actions, child_ends[1]);
  quen::Fd err = connect_stream(stdio.err, STDERR_FILENO, actions, child_ends[2]);

  // From the start until the child is in the table of live children, a stop
  // signal waits: it then reaches this child too.
  const stop_signals::Blocked blocked;
  SpawnAttributes attributes;
  attributes.set_signals(blocked.previous());

  // posix_spawnp searches PATH only for a program text without "/", as
  // execvp does, and passes argv[0] on unchanged.
  const auto pointers = argument_pointers(argv);
  pid_t pid = -1;
  check(posix_spawnp(&pid, argv[0].c_str(), actions.get(), attributes.get(), pointers.data(), environ));
  stop_signals::add_child(pid);
  return Child(pid, std::move(in), std::move(out), std::move(err));
}

}  // namespace encpipe
