#include "stop_signals.hpp"

#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <climits>

namespace encpipe::stop_signals {
namespace {

// SIGALRM too: `timeout -s ALRM`, or an alarm set before exec, which
// survives it, means to end encpipe as the default action would.
constexpr std::array<int, 4> stop_signal_numbers{SIGINT, SIGTERM, SIGHUP, SIGALRM};

// encpipe has at most two children alive at once; the table leaves room for
// the tests, which start more. Lock-free atomics are safe to read in a
// signal handler.
std::array<std::atomic<pid_t>, 64> children{};
std::atomic<int> pending_signal{0};
// SIGALRM was ignored when encpipe started: only our own alarm acts.
std::atomic<bool> outside_alarm_ignored{false};
// A fixed buffer, as the handler may not allocate; its text changes only
// while `temporary_tracked` is false.
std::array<char, PATH_MAX> temporary_path{};
std::atomic<bool> temporary_tracked{false};
static_assert(std::atomic<pid_t>::is_always_lock_free && std::atomic<int>::is_always_lock_free &&
              std::atomic<bool>::is_always_lock_free);

sigset_t stop_set() noexcept {
  sigset_t set;
  sigemptyset(&set);
  for (const int sig : stop_signal_numbers) sigaddset(&set, sig);
  return set;
}

void remove_child(pid_t pid) noexcept {
  for (auto& slot : children) {
    pid_t mine = pid;
    if (slot.compare_exchange_strong(mine, 0)) return;
  }
}

bool any_child() noexcept {
  for (const auto& slot : children) {
    if (slot.load() > 0) return true;
  }
  return false;
}

void signal_children(int sig) noexcept {
  for (const auto& slot : children) {
    if (const pid_t pid = slot.load(); pid > 0) kill(pid, sig);
  }
}

[[noreturn]] void end_at_once(int sig) noexcept {
  if (temporary_tracked.load()) unlink(temporary_path.data());
  end_by(sig);
}

void stop(int sig) noexcept {
  int expected = 0;
  const bool first = pending_signal.compare_exchange_strong(expected, sig);
  if (!any_child()) end_at_once(sig);
  if (first) {
    signal_children(sig);
    alarm(kill_delay_seconds);
  } else {
    signal_children(SIGKILL);
  }
}

// Our own alarm is armed only by a first stop and ends the kill delay; an
// alarm after that, whoever sent it, kills the children as a second stop
// signal would, but never ends encpipe by SIGALRM instead of the stop it got.
void on_stop_signal(int sig) noexcept {
  const int saved_errno = errno;
  if (sig == SIGALRM && pending_signal.load() != 0) {
    signal_children(SIGKILL);
  } else if (sig != SIGALRM || !outside_alarm_ignored.load()) {
    stop(sig);
  }
  errno = saved_errno;
}

// Whether the child has ended, without reaping it: until it is reaped its
// number stays ours to signal. A failed look counts as ended, as there is
// nothing left to wait for then.
bool has_ended(pid_t pid) noexcept {
  siginfo_t info{};
  if (waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) != 0) return errno != EINTR;
  return info.si_pid != 0;
}

// Looks every 10 ms, which no one notices against the seconds allowed.
// Gives up early when a stop signal arrives: that signal's own kill delay
// takes over.
bool ends_within(pid_t pid, unsigned seconds) noexcept {
  constexpr timespec step{0, 10'000'000};
  for (unsigned long waited_ms = 0; waited_ms < seconds * 1000UL; waited_ms += 10) {
    if (has_ended(pid) || pending_signal.load() != 0) return true;
    nanosleep(&step, nullptr);
  }
  return has_ended(pid);
}

void catch_signal(int sig, void (*handler)(int)) noexcept {
  struct sigaction action {};
  action.sa_handler = handler;
  action.sa_mask = stop_set();  // one handler at a time
  action.sa_flags = SA_RESTART;
  sigaction(sig, &action, nullptr);
}

}  // namespace

void install() noexcept {
  // An ignored SIGCHLD survives exec (a parent's preexec_fn, say) and has the
  // kernel reap our children itself: every wait for one would then fail.
  signal(SIGCHLD, SIG_DFL);
  for (const int sig : stop_signal_numbers) {
    struct sigaction old {};
    const bool ignored = sigaction(sig, nullptr, &old) == 0 && old.sa_handler == SIG_IGN;
    // SIGALRM is caught all the same: the kill delay needs it.
    if (ignored && sig == SIGALRM) outside_alarm_ignored.store(true);
    if (ignored && sig != SIGALRM) continue;
    catch_signal(sig, on_stop_signal);
  }
}

void throw_if_stopped() {
  if (const int sig = pending_signal.load(); sig != 0) throw Stopped(sig);
}

// Default action, then the signal again: the process ends as if it had never
// caught it, and its parent sees it killed by that signal.
void end_by(int sig) noexcept {
  signal(sig, SIG_DFL);
  sigset_t only;
  sigemptyset(&only);
  sigaddset(&only, sig);
  pthread_sigmask(SIG_UNBLOCK, &only, nullptr);
  raise(sig);
  _exit(128 + sig);  // not reached unless the signal was held back elsewhere
}

Blocked::Blocked() noexcept {
  const sigset_t set = stop_set();
  pthread_sigmask(SIG_BLOCK, &set, &previous_);
}

Blocked::~Blocked() {
  pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
}

void add_child(pid_t pid) noexcept {
  for (auto& slot : children) {
    pid_t empty = 0;
    if (slot.compare_exchange_strong(empty, pid)) break;
  }
  if (const int sig = pending_signal.load(); sig != 0) kill(pid, sig);
}

int reap(pid_t pid, int& status) noexcept {
  // The child is waited for without reaping it first: until it is reaped,
  // its number cannot go to another process, so the handler may still send
  // it a signal while it is in the table. A wait that fails leaves nothing
  // to signal either.
  siginfo_t info{};
  int error = 0;
  do {
    error = waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOWAIT) == 0 ? 0 : errno;
  } while (error == EINTR);
  const Blocked blocked;
  remove_child(pid);
  if (error != 0) return error;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return errno;
  }
  return 0;
}

void track_temporary_file(std::string_view path) noexcept {
  temporary_tracked.store(false);
  if (path.size() >= temporary_path.size()) return;
  path.copy(temporary_path.data(), path.size());
  temporary_path[path.size()] = '\0';
  temporary_tracked.store(true);
}

void untrack_temporary_file() noexcept {
  temporary_tracked.store(false);
}

void stop_and_reap(pid_t pid) noexcept {
  if (pending_signal.load() == 0 && !has_ended(pid)) {
    kill(pid, SIGTERM);
    if (!ends_within(pid, kill_delay_seconds)) kill(pid, SIGKILL);
  }
  int status = 0;
  reap(pid, status);
}

}  // namespace encpipe::stop_signals
