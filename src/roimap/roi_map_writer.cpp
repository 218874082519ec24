#include "roi_map_writer.hpp"

#include "common/error.hpp"
#include "common/fd.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <string_view>
#include <system_error>

namespace quen::roimap {
namespace {

Fd create_map_file(const std::filesystem::path& path, const RoiMapOptions& options) {
  int flags = O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC;
  if (!options.follow_symlinks) flags |= O_NOFOLLOW;
  Fd fd(::open(path.c_str(), flags, 0666));
  if (!fd) throw_with_context(options.create_context, std::system_error(errno, std::generic_category()));
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
      // Negated in wrapping arithmetic: -(-2147483648) stays -2147483648.
      if (options.invert_sign) offset = static_cast<std::int32_t>(0u - static_cast<std::uint32_t>(offset));
      write_piece(fd, " ");
      write_number(fd, offset);
    }
    write_piece(fd, "\n");
  }
  return bucket_counts;
}

}  // namespace quen::roimap
