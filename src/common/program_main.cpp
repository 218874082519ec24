#include "program_main.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <csignal>

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

}  // namespace quen
