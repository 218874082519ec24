#include "ivf_stream.hpp"

#include "common/error.hpp"
#include "temp_dir.hpp"

#include <fmt/format.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <string>

namespace encpipe {
namespace {

namespace fs = std::filesystem;
using quen::testing::TempDir;

std::string ivf_header() {
  std::string header("DKIF\0\0\x20\0AV01", 12);
  header.resize(32, '\0');
  return header;
}

// A record claiming `size` bytes of frame, of which `present` follow.
std::string frame_record(std::uint32_t size, std::uint32_t present) {
  std::string record;
  for (int shift = 0; shift < 32; shift += 8) record += static_cast<char>(size >> shift & 0xff);
  record.append(8, '\0');
  record.append(present, '\x5a');
  return record;
}

std::string frame_record(std::uint32_t size) {
  return frame_record(size, size);
}

fs::path write_file(const TempDir& dir, const std::string& bytes) {
  const auto path = dir / "out.av1";
  std::ofstream(path, std::ios::binary) << bytes;
  return path;
}

std::string failure_report(const fs::path& path) {
  try {
    check_ivf_stream(path);
  } catch (const std::exception& error) {
    return quen::error_report(error);
  }
  return "no failure";
}

TEST(IvfStream, WholeStreamGivesItsSizeAndFrames) {
  TempDir dir("ivf");
  // An empty frame is still a whole record.
  const auto path = write_file(dir, ivf_header() + frame_record(70000) + frame_record(0) + frame_record(5));
  const IvfStream stream = check_ivf_stream(path);
  EXPECT_EQ(stream.size, 32u + 70012 + 12 + 17);
  EXPECT_EQ(stream.frames, 3u);
}

TEST(IvfStream, ReportsTheByteWhereTheStreamBreaksOff) {
  TempDir dir("ivf");
  const auto path = dir / "out.av1";
  const auto at = [&](std::string_view rest) {
    return fmt::format("AV1 stream {} breaks off at byte {}", path.string(), rest);
  };
  const struct {
    std::string bytes;
    std::string report;
  } cases[] = {
      {"", at("0: IVF header cut short, 0 of 32 bytes")},
      {ivf_header().substr(0, 31), at("0: IVF header cut short, 31 of 32 bytes")},
      {"RIFF" + ivf_header().substr(4) + frame_record(3),
       at("0: not an IVF stream, it does not begin with \"DKIF\"")},
      {"DKIF" + std::string("\0\0\x40\0", 4) + ivf_header().substr(8) + frame_record(3),
       at("0: IVF header size 64, not 32")},
      {ivf_header(), at("32: no frame follows the IVF header")},
      {ivf_header() + frame_record(3) + frame_record(9).substr(0, 11),
       at("47: frame header cut short, 11 of 12 bytes")},
      {ivf_header() + frame_record(3) + frame_record(0xffffffff, 0),
       at("47: frame cut short, 0 of 4294967295 bytes")},
      {ivf_header() + frame_record(3, 2), at("32: frame cut short, 2 of 3 bytes")},
  };
  for (const auto& [bytes, report] : cases) {
    write_file(dir, bytes);
    EXPECT_EQ(failure_report(path), report);
  }
}

TEST(IvfStream, FileThatCannotBeReadBreaksOffAtByteZeroWithTheReason) {
  TempDir dir("ivf");
  EXPECT_EQ(
      failure_report(dir / "missing.av1"),
      fmt::format("AV1 stream {}/missing.av1 breaks off at byte 0: cannot be read\n\nCaused by:\n    No such "
                  "file or directory",
                  dir.path().string()));
  EXPECT_EQ(
      failure_report(dir.path()),
      fmt::format("AV1 stream {} breaks off at byte 0: cannot be read\n\nCaused by:\n    Is a directory",
                  dir.path().string()));
}

}  // namespace
}  // namespace encpipe
