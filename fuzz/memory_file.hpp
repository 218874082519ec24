#pragma once
// A file that lives in memory only (memfd), reachable by a path.
//
// The library opens its input and output by path; a memfd gives each fuzzing
// process its own files without touching a disk or colliding with the other
// workers of a parallel run.

#include "common/fd.hpp"

#include <cstdint>
#include <span>
#include <string>

namespace quen::fuzz {

class MemoryFile {
 public:
  // Throws std::system_error when the kernel refuses the memfd.
  explicit MemoryFile(const char* name);

  // "/proc/self/fd/N": opening it opens this file anew, at offset 0.
  const std::string& path() const { return path_; }

  // Makes `bytes` the whole content of the file.
  void replace(std::span<const std::uint8_t> bytes);

  std::string contents() const;

 private:
  Fd fd_;
  std::string path_;
};

}  // namespace quen::fuzz
