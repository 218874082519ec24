#include "program_main.hpp"

#include <fcntl.h>
#include <fmt/format.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <string>

namespace quen {

void prepare_process() noexcept {
  std::signal(SIGPIPE, SIG_IGN);
  for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
    if (fcntl(fd, F_GETFD) >= 0) continue;
    // open gives the lowest free number, which is this one.
    const int opened = open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);
    if (opened >= 0 && opened != fd) close(opened);
  }
}

void print_error_report(const std::exception_ptr& error) noexcept {
  // The whole text is formed before anything is written, so that a failed
  // allocation leaves no half report; fputs on the unbuffered standard error
  // allocates nothing.
  try {
    const std::string text = fmt::format("Error: {}\n", error_report(error));
    std::fputs(text.c_str(), stderr);
  } catch (...) {
    std::fputs("Error: out of memory\n", stderr);
  }
}

}  // namespace quen
