#pragma once
// SIGINT, SIGTERM, SIGHUP and SIGALRM must end encpipe promptly and leave no
// child running: a job scheduler, `timeout` or a service manager signals only
// us, Ctrl-C signals the whole process group, and an orphaned encoder would
// go on writing into a work directory whose lock died with us.
//
// So every live child is known here. A stop signal is passed on to them, and
// a child that has not ended 5 seconds later is killed (ffmpeg, for one,
// catches the signal and only notices it between two writes); that delay is
// our own alarm, which only a first stop arms. The waits of the run then
// return, the run sees the stop (throw_if_stopped) and unwinds like a
// failure, reaping its remaining children on the way, and main ends encpipe
// by that same signal, its work directory left in place as after any
// failure. A second stop signal kills the children at once. With no child
// alive a stop signal ends encpipe at once, as it would without any of this.

#include <signal.h>
#include <sys/types.h>

#include <exception>
#include <string_view>

namespace encpipe::stop_signals {

// What a child gets before it is killed, after the first stop signal.
inline constexpr unsigned kill_delay_seconds = 5;

// Catches the stop signals, except those that were ignored when encpipe
// started (`nohup`, a background job): they stay ignored; an ignored SIGALRM
// only ends the kill delay. Sets SIGCHLD to its default, whatever our parent
// left it at. Called once, at the start of main, before any child.
void install() noexcept;

// The run was told to stop by `signal()`; thrown by throw_if_stopped and
// caught only by main.
class Stopped : public std::exception {
 public:
  explicit Stopped(int signal) noexcept : signal_(signal) {}
  int signal() const noexcept { return signal_; }
  const char* what() const noexcept override { return "stopped by a signal"; }

 private:
  int signal_;
};

// Throws Stopped when a stop signal has arrived. Called after every wait for
// a child: a child that ended because we were told to stop is no result.
void throw_if_stopped();

// Ends the process by `sig` as if it had never been caught, so that the
// parent sees encpipe killed by that signal (128+N in a shell).
[[noreturn]] void end_by(int sig) noexcept;

// Holds the stop signals back for as long as it lives, so that a child's
// start and its entry here, or its reaping and its removal, are one step
// as far as the handler can tell.
class Blocked {
 public:
  Blocked() noexcept;
  ~Blocked();
  Blocked(const Blocked&) = delete;
  Blocked& operator=(const Blocked&) = delete;

  // The mask from before: the one a child should start with.
  const sigset_t& previous() const noexcept { return previous_; }

 private:
  sigset_t previous_;
};

// With the stop signals blocked. A child added after a stop signal arrived
// gets that signal at once; reap takes it out again.
void add_child(pid_t pid) noexcept;

// Waits for the child's end, reaps it and removes it from the table; 0, or
// the system's error number. Stop signals may come in the meantime.
int reap(pid_t pid, int& status) noexcept;

// The one file that a stop signal removes when it ends encpipe at once, with
// no child alive: no destructor runs then, and the mux's temporary file must
// not stay behind. Both with the stop signals blocked. A path too long for
// the system to open is not kept: no file can have been made under it.
void track_temporary_file(std::string_view path) noexcept;
void untrack_temporary_file() noexcept;

// Ends a child that the run no longer waits for as a stop signal would:
// SIGTERM, then SIGKILL when it has not ended kill_delay_seconds later; and
// reaps it. After a stop signal, which has reached the child already and
// armed the kill, it only reaps.
void stop_and_reap(pid_t pid) noexcept;

}  // namespace encpipe::stop_signals
