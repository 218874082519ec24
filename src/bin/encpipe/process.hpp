#pragma once
// Child processes, started without a shell.
//
// A program text with "/" is a path; one without is looked up along PATH.
// The child's first argument is the program text unchanged, and it inherits
// our environment and current directory. Each standard stream is inherited,
// sent to "/dev/null", connected to a new pipe or to a descriptor we hand over.
// encpipe ignores SIGPIPE, but its children start with SIGPIPE at its default
// action, so a child writing to a pipe whose reader is gone ends at once.

#include "common/fd.hpp"

#include <sys/types.h>

#include <string>
#include <utility>
#include <vector>

namespace encpipe {

// What one standard stream of a child is connected to.
struct Stdio {
  enum class Kind { inherit, null_device, pipe, descriptor };

  static Stdio inherit() { return {Kind::inherit, -1}; }
  static Stdio null_device() { return {Kind::null_device, -1}; }
  // A new pipe, both ends close-on-exec; the child gets one end as this
  // stream, the parent keeps the other (Child::take_stdin and the like).
  static Stdio pipe() { return {Kind::pipe, -1}; }
  // The child gets a duplicate of `fd` as this stream; the caller keeps `fd`.
  static Stdio descriptor(int fd) { return {Kind::descriptor, fd}; }

  Kind kind;
  int fd;
};

struct ChildStdio {
  Stdio in = Stdio::inherit();
  Stdio out = Stdio::inherit();
  Stdio err = Stdio::inherit();
};

// A started child process. When its owner goes away, unless it has been
// waited for, our ends of its pipes are closed and the child is
// stopped as a stop signal would stop it (SIGTERM, SIGKILL 5 seconds later)
// and reaped: whichever way a run fails, no child of it outlives it. While it
// lives, a stop signal sent to us is passed on to it (stop_signals.hpp).
class Child {
 public:
  Child(pid_t pid, quen::Fd in, quen::Fd out, quen::Fd err) noexcept;
  ~Child();
  Child(Child&& other) noexcept;
  Child& operator=(Child&&) = delete;
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  pid_t pid() const noexcept { return pid_; }

  // Our end of a pipe asked for with Stdio::pipe(); empty when there is none
  // or it was taken before.
  quen::Fd take_stdin() noexcept { return std::move(in_); }
  quen::Fd take_stdout() noexcept { return std::move(out_); }
  quen::Fd take_stderr() noexcept { return std::move(err_); }

  // Waits for the child's end and gives its wait status as waitpid reports it
  // (0 only for a normal exit with code 0). Throws std::system_error. A stop
  // signal ends the wait only by ending the child; the caller asks
  // stop_signals::throw_if_stopped whether that is why it ended.
  int wait();

 private:
  pid_t pid_;
  quen::Fd in_;
  quen::Fd out_;
  quen::Fd err_;
};

// Starts argv[0] with the arguments argv[1...]. Throws std::system_error with
// the system's error when the program cannot be started (ENOENT for a
// program that cannot be found).
Child spawn(const std::vector<std::string>& argv, const ChildStdio& stdio = {});

}  // namespace encpipe
