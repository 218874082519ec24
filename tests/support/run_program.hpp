#pragma once
// Runs a program as a user would from a shell, and records what it did.

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace quen::testing {

struct ProgramResult {
  int exit_code = -1;      // the exit status, when the program exited
  int signal = 0;          // the signal that ended it, else 0
  bool timed_out = false;  // it was killed after the time limit
  std::string out;         // everything written to standard output
  std::string err;         // everything written to standard error
};

struct RunOptions {
  // Variables to set (a value) or remove (no value) in the inherited environment.
  std::map<std::string, std::optional<std::string>> env;
  std::optional<std::filesystem::path> cwd;
  std::optional<std::filesystem::path> stdin_file;  // /dev/null when absent
  std::chrono::seconds time_limit{120};
  // Standard output or error on a pipe whose reader is gone, as after
  // `| head` has exited; nothing is captured from such a stream.
  bool stdout_to_closed_pipe = false;
  bool stderr_to_closed_pipe = false;
  // Called with the program's process id once it has started, before it is
  // waited for (to send it a signal, say).
  std::function<void(pid_t)> after_start;
};

// argv[0] is the program path; it is run without a shell.
ProgramResult run_program(const std::vector<std::string>& argv, const RunOptions& options = {});

}  // namespace quen::testing
