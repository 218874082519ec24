#include "memory_file.hpp"

#include <fmt/format.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace quen::fuzz {
namespace {

[[noreturn]] void throw_errno() {
  throw std::system_error(errno, std::generic_category());
}

}  // namespace

MemoryFile::MemoryFile(const char* name) : fd_(::memfd_create(name, MFD_CLOEXEC)) {
  if (!fd_) throw_errno();
  path_ = fmt::format("/proc/self/fd/{}", fd_.get());
}

void MemoryFile::replace(std::span<const std::uint8_t> bytes) {
  if (::ftruncate(fd_.get(), 0) != 0) throw_errno();
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::pwrite(fd_.get(), bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
    if (n < 0 && errno == EINTR) continue;
    if (n == 0) errno = EIO;  // a memfd never takes nothing; do not loop on it
    if (n <= 0) throw_errno();
    done += static_cast<std::size_t>(n);
  }
}

std::string MemoryFile::contents() const {
  struct stat info {};
  if (::fstat(fd_.get(), &info) != 0) throw_errno();
  std::string text(static_cast<std::size_t>(info.st_size), '\0');
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::pread(fd_.get(), text.data() + done, text.size() - done, static_cast<off_t>(done));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw_errno();
    if (n == 0) break;
    done += static_cast<std::size_t>(n);
  }
  text.resize(done);
  return text;
}

}  // namespace quen::fuzz
