#include "file_identity.hpp"

#include "error.hpp"

#include <fmt/format.h>

namespace quen {

std::optional<FileIdentity> file_identity(const std::filesystem::path& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return std::nullopt;
  return FileIdentity::of(st);
}

void refuse_output_that_is_input(const std::optional<FileIdentity>& output, std::string_view output_text,
                                 const std::filesystem::path& input) {
  if (output && *output == file_identity(input)) {
    throw Error(fmt::format("the output path names the input video itself: {}", output_text));
  }
}

}  // namespace quen
