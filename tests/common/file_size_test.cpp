#include "common/file_size.hpp"

#include "temp_dir.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace {

void write_file(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

TEST(FileSize, RegularFileAndSymlinkTarget) {
  const quen::testing::TempDir dir("file_size");
  write_file(dir / "data.bin", std::string(12345, 'x'));
  EXPECT_EQ(quen::file_size_or_zero(dir / "data.bin"), 12345u);
  std::filesystem::create_symlink(dir / "data.bin", dir / "link");
  EXPECT_EQ(quen::file_size_or_zero(dir / "link"), 12345u);
}

TEST(FileSize, ZeroWhenItCannotBeRead) {
  const quen::testing::TempDir dir("file_size");
  EXPECT_EQ(quen::file_size_or_zero(dir / "missing"), 0u);
  EXPECT_EQ(quen::file_size_or_zero(dir.path()), 0u);
  std::filesystem::create_symlink(dir / "missing", dir / "dangling");
  EXPECT_EQ(quen::file_size_or_zero(dir / "dangling"), 0u);
}

}  // namespace
