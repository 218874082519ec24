#include "run_program.hpp"

#include "temp_dir.hpp"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace quen::testing {
namespace {

std::string read_file(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::vector<std::string> build_environment(const RunOptions& options) {
  std::map<std::string, std::string> vars;
  for (char** e = environ; *e != nullptr; ++e) {
    std::string entry(*e);
    const auto eq = entry.find('=');
    if (eq != std::string::npos) vars[entry.substr(0, eq)] = entry.substr(eq + 1);
  }
  for (const auto& [name, value] : options.env) {
    if (value) {
      vars[name] = *value;
    } else {
      vars.erase(name);
    }
  }
  std::vector<std::string> out;
  for (const auto& [name, value] : vars) out.push_back(name + "=" + value);
  return out;
}

std::vector<char*> pointers(std::vector<std::string>& texts) {
  std::vector<char*> out;
  for (auto& t : texts) out.push_back(t.data());
  out.push_back(nullptr);
  return out;
}

}  // namespace

ProgramResult run_program(const std::vector<std::string>& argv, const RunOptions& options) {
  TempDir capture("run");
  const auto out_path = capture.path() / "stdout";
  const auto err_path = capture.path() / "stderr";
  const auto in_path = options.stdin_file.value_or("/dev/null");

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, in_path.c_str(), O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&actions, 2, err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  // The read end is closed before the program starts; the write end reaches
  // it only as its standard stream (the other copies are close-on-exec).
  int closed_pipe[2] = {-1, -1};
  if (options.stdout_to_closed_pipe || options.stderr_to_closed_pipe) {
    if (pipe2(closed_pipe, O_CLOEXEC) != 0) throw std::runtime_error("pipe2 failed");
    close(closed_pipe[0]);
    if (options.stdout_to_closed_pipe) posix_spawn_file_actions_adddup2(&actions, closed_pipe[1], 1);
    if (options.stderr_to_closed_pipe) posix_spawn_file_actions_adddup2(&actions, closed_pipe[1], 2);
  }
  if (options.cwd) posix_spawn_file_actions_addchdir_np(&actions, options.cwd->c_str());

  // The child starts with default signal handling, whatever the test runner set.
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  sigset_t all;
  sigfillset(&all);
  posix_spawnattr_setsigdefault(&attr, &all);
  sigset_t none;
  sigemptyset(&none);
  posix_spawnattr_setsigmask(&attr, &none);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETPGROUP);
  posix_spawnattr_setpgroup(&attr, 0);

  auto args = argv;
  auto env = build_environment(options);
  auto arg_ptrs = pointers(args);
  auto env_ptrs = pointers(env);

  pid_t pid = 0;
  const int rc = posix_spawn(&pid, args[0].c_str(), &actions, &attr, arg_ptrs.data(), env_ptrs.data());
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attr);
  if (closed_pipe[1] >= 0) close(closed_pipe[1]);
  if (rc != 0) throw std::runtime_error("cannot start " + args[0] + ": " + std::strerror(rc));
  if (options.after_start) options.after_start(pid);

  ProgramResult result;
  const auto deadline = std::chrono::steady_clock::now() + options.time_limit;
  int status = 0;
  for (;;) {
    const pid_t done = waitpid(pid, &status, WNOHANG);
    if (done == pid) break;
    if (done < 0 && errno != EINTR) throw std::runtime_error("waitpid failed");
    if (std::chrono::steady_clock::now() > deadline) {
      // Ends the program and every child it started (they share its group).
      kill(-pid, SIGKILL);
      waitpid(pid, &status, 0);
      result.timed_out = true;
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  if (WIFEXITED(status)) result.exit_code = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
  result.out = read_file(out_path);
  result.err = read_file(err_path);
  return result;
}

}  // namespace quen::testing
