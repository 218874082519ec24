#include "ivf_stream.hpp"

#include "common/error.hpp"
#include "common/fd.hpp"

#include <fcntl.h>
#include <fmt/format.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <span>
#include <system_error>

namespace encpipe {
namespace {

namespace fs = std::filesystem;

constexpr std::uint64_t file_header_size = 32;
constexpr std::uint64_t frame_header_size = 12;

[[noreturn]] void throw_unreadable(const fs::path& path, std::uint64_t offset, int error) {
  quen::throw_with_context(
      fmt::format("AV1 stream {} breaks off at byte {}: cannot be read", path.string(), offset),
      std::system_error(error, std::generic_category()));
}

quen::Fd open_stream(const fs::path& path) {
  quen::Fd file(open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!file) throw_unreadable(path, 0, errno);
  return file;
}

std::uint64_t stream_size(const quen::Fd& file, const fs::path& path) {
  struct stat st {};
  if (fstat(file.get(), &st) != 0) throw_unreadable(path, 0, errno);
  return static_cast<std::uint64_t>(st.st_size);
}

// Fills `out` from `offset` on; fewer bytes only where the file ends.
std::size_t read_at(const quen::Fd& file, const fs::path& path, std::uint64_t offset,
                    std::span<unsigned char> out) {
  std::size_t done = 0;
  while (done < out.size()) {
    const ssize_t got =
        pread(file.get(), out.data() + done, out.size() - done, static_cast<off_t>(offset + done));
    if (got == 0) break;
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) throw_unreadable(path, offset, errno);
    done += static_cast<std::size_t>(got);
  }
  return done;
}

std::uint32_t little_endian_16(std::span<const unsigned char, 2> bytes) {
  return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8;
}

std::uint32_t little_endian_32(std::span<const unsigned char, 4> bytes) {
  return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
         static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

// Checks the header and gives the stream with the frame size it states.
IvfStream check_file_header(const quen::Fd& file, const fs::path& path, std::uint64_t size) {
  std::array<unsigned char, file_header_size> header{};
  const std::size_t got = read_at(file, path, 0, header);
  if (got < header.size()) {
    throw quen::Error(fmt::format("AV1 stream {} breaks off at byte 0: IVF header cut short, {} of 32 bytes",
                                  path.string(), got));
  }
  if (std::memcmp(header.data(), "DKIF", 4) != 0) {
    throw quen::Error(
        fmt::format("AV1 stream {} breaks off at byte 0: not an IVF stream, it does not begin with \"DKIF\"",
                    path.string()));
  }
  // The first record follows the header at the offset the header gives.
  // Writers give 32; any other value would put the first record elsewhere
  // than where it is looked for.
  const std::uint32_t header_size = little_endian_16(std::span(header).subspan<6, 2>());
  if (header_size != file_header_size) {
    throw quen::Error(fmt::format("AV1 stream {} breaks off at byte 0: IVF header size {}, not 32",
                                  path.string(), header_size));
  }
  return {.size = size,
          .frames = 0,
          .width = little_endian_16(std::span(header).subspan<12, 2>()),
          .height = little_endian_16(std::span(header).subspan<14, 2>())};
}

// The offset just past the record at `offset`, which must lie whole within
// the `size` bytes of the file.
std::uint64_t end_of_record(const quen::Fd& file, const fs::path& path, std::uint64_t offset,
                            std::uint64_t size) {
  std::array<unsigned char, frame_header_size> header{};
  const std::size_t got = read_at(file, path, offset, header);
  if (got < header.size()) {
    throw quen::Error(
        fmt::format("AV1 stream {} breaks off at byte {}: frame header cut short, {} of 12 bytes",
                    path.string(), offset, got));
  }
  const std::uint32_t frame_size = little_endian_32(std::span(header).first<4>());
  const std::uint64_t frame_start = offset + frame_header_size;
  // std::min: a file that grew since its size was taken has no bytes beyond
  // that size here, rather than a wrapped-around count.
  const std::uint64_t frame_bytes_present = size - std::min(size, frame_start);
  if (frame_bytes_present < frame_size) {
    throw quen::Error(fmt::format("AV1 stream {} breaks off at byte {}: frame cut short, {} of {} bytes",
                                  path.string(), offset, frame_bytes_present, frame_size));
  }
  return frame_start + frame_size;
}

}  // namespace

IvfStream check_ivf_stream(const fs::path& path) {
  const quen::Fd file = open_stream(path);
  const std::uint64_t size = stream_size(file, path);
  IvfStream stream = check_file_header(file, path, size);
  for (std::uint64_t offset = file_header_size; offset < size; ++stream.frames) {
    offset = end_of_record(file, path, offset, size);
  }
  if (stream.frames == 0) {
    throw quen::Error(
        fmt::format("AV1 stream {} breaks off at byte 32: no frame follows the IVF header", path.string()));
  }
  return stream;
}

}  // namespace encpipe
