#include "file_identity.hpp"

#include "error.hpp"

#include <fmt/format.h>
#include <sys/stat.h>

namespace quen {
namespace {

FileIdentity identity_of(const struct stat& st) {
  return {st.st_dev, st.st_ino};
}

}  // namespace

std::optional<FileIdentity> file_identity(const std::filesystem::path& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return std::nullopt;
  return identity_of(st);
}

std::optional<FileIdentity> file_identity(int fd) {
  struct stat st {};
  if (::fstat(fd, &st) != 0) return std::nullopt;
  return identity_of(st);
}

void refuse_output_that_is_input(const std::optional<FileIdentity>& output, std::string_view output_text,
                                 const std::filesystem::path& input) {
  if (output && *output == file_identity(input)) {
    throw Error(fmt::format("the output path names the input video itself: {}", output_text));
  }
}

}  // namespace quen
