#pragma once
// A fresh directory for one test, removed with everything in it at the end.

#include <filesystem>
#include <string_view>

namespace quen::testing {

class TempDir {
 public:
  explicit TempDir(std::string_view prefix = "test");
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(std::string_view name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

// Reads a whole file as bytes; empty when it cannot be read.
std::string slurp(const std::filesystem::path& path);

}  // namespace quen::testing
