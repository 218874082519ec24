#pragma once
// A file descriptor with exactly one owner, closed when the owner goes away.

#include <unistd.h>

#include <utility>

namespace quen {

class Fd {
 public:
  Fd() = default;
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() { close(); }

  Fd(Fd&& other) noexcept : fd_(other.release()) {}
  Fd& operator=(Fd&& other) noexcept {
    if (this != &other) {
      close();
      fd_ = other.release();
    }
    return *this;
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;

  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  explicit operator bool() const { return valid(); }

  // Hands the descriptor on; this owner no longer closes it.
  int release() { return std::exchange(fd_, -1); }

  // Errors on closing are ignored: by then everything has been written
  // through unbuffered writes that reported their own failures.
  void close() {
    if (fd_ >= 0) ::close(std::exchange(fd_, -1));
  }

 private:
  int fd_ = -1;
};

}  // namespace quen
