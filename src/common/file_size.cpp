#include "file_size.hpp"

#include <system_error>

namespace quen {

std::uint64_t file_size_or_zero(const std::filesystem::path& path) {
  std::error_code error;
  const auto size = std::filesystem::file_size(path, error);
  return error ? 0 : static_cast<std::uint64_t>(size);
}

}  // namespace quen
