#include "roi_map_writer.hpp"

#include "common/error.hpp"
#include "common/fd.hpp"
#include "common/file_identity.hpp"
#include "common/wrapping_int.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <string_view>
#include <system_error>

namespace quen::roimap {
namespace {

[[noreturn]] void fail_to_create(const RoiMapOptions& options, int error) {
  throw_with_context(options.create_context, std::system_error(error, std::generic_category()));
}

// Opened without truncation first: the file is emptied only once it is known
// not to be the one that must stay intact, however its path is spelled.
Fd create_map_file(const std::filesystem::path& path, const RoiMapOptions& options) {
  int flags = O_WRONLY | O_CREAT | O_CLOEXEC;
  if (!options.follow_symlinks) flags |= O_NOFOLLOW;
  Fd fd(::open(path.c_str(), flags, 0666));
  if (!fd) fail_to_create(options, errno);

  struct stat opened {};
  if (::fstat(fd.get(), &opened) != 0) fail_to_create(options, errno);
  if (options.keep_intact) {
    with_context(options.create_context, [&] {
      refuse_output_that_is_input(FileIdentity::of(opened), path.string(), *options.keep_intact);
    });
  }
  // Devices and pipes have nothing to truncate.
  if (S_ISREG(opened.st_mode) && ::ftruncate(fd.get(), 0) != 0) fail_to_create(options, errno);
  return fd;
}

// Unbuffered: the piece goes to the system now. Interrupted writes are
// retried and short writes continued.
void write_piece(const Fd& fd, std::string_view piece) {
  while (!piece.empty()) {
    const ssize_t n = ::write(fd.get(), piece.data(), piece.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      throw std::system_error(errno, std::generic_category());
    }
    if (n == 0) throw Error("failed to write whole buffer");
    piece.remove_prefix(static_cast<std::size_t>(n));
  }
}

template <class Int>
void write_number(const Fd& fd, Int value) {
  char text[16];
  const auto result = std::to_chars(std::begin(text), std::end(text), value);
  write_piece(fd, std::string_view(text, static_cast<std::size_t>(result.ptr - text)));
}

}  // namespace

std::vector<std::uint64_t> write_roi_map(const std::filesystem::path& path, std::span<const float> svt_values,
                                         std::uint32_t pairs, std::uint32_t svt_per_frame,
                                         const QpSegments& segments, const RoiMapOptions& options) {
  const Fd fd = create_map_file(path, options);
  std::vector<std::uint64_t> bucket_counts(segments.count(), 0);

  for (std::uint32_t f = 0; f < pairs; ++f) {
    write_number(fd, f);
    for (std::uint32_t b = 0; b < svt_per_frame; ++b) {
      std::int32_t offset = 0;
      if (options.uniform_offset) {
        offset = *options.uniform_offset;
      } else {
        const std::uint32_t bucket = segments.bucket_of(svt_values[std::size_t{f} * svt_per_frame + b]);
        ++bucket_counts[bucket];
        offset = segments.qp_offset(bucket);
      }
      if (options.invert_sign) offset = wrapping_neg(offset);
      write_piece(fd, " ");
      write_number(fd, offset);
    }
    write_piece(fd, "\n");
  }
  return bucket_counts;
}

}  // namespace quen::roimap
