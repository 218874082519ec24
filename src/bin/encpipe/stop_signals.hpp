#pragma once
// SIGINT, SIGTERM and SIGHUP sent to encpipe alone must not leave its
// children running: a job scheduler, `timeout` or a service manager signals
// only us, and an orphaned encoder would go on writing into a work directory
// whose lock died with us. So every live child is known here; a stop signal
// is passed on to them, encpipe reaps them, and then ends by that same
// signal, its work directory left in place as after any failure.
//
// A second stop signal kills the children outright, for a child that takes
// its time to stop or ignores the first. With no child alive a stop signal
// ends encpipe at once, as it would without any of this.

#include <signal.h>
#include <sys/types.h>

namespace encpipe::stop_signals {

// Catches the stop signals, except those that were ignored when encpipe
// started (`nohup`, a background job): they stay ignored. Called once, at
// the start of main.
void install() noexcept;

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

// Both with the stop signals blocked. A child added after a stop signal
// arrived gets that signal at once.
void add_child(pid_t pid) noexcept;
void remove_child(pid_t pid) noexcept;

// Waits for the child's end, reaps it and removes it from the table; 0, or
// the system's error number. Stop signals may come in the meantime.
int reap(pid_t pid, int& status) noexcept;

// Called after a child has been reaped: when a stop signal has arrived,
// reaps every other child still known here and ends the process by that
// signal. Otherwise returns.
void finish_if_stopped() noexcept;

}  // namespace encpipe::stop_signals
