#include "ffmpeg_path.hpp"

#include <algorithm>

namespace quen {
namespace {

// The characters of a protocol name, as libavformat scans for one.
constexpr std::string_view protocol_name_characters =
    "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789+-.";

bool read_as_option(std::string_view path) {
  return path.starts_with('-');
}

}  // namespace

std::optional<std::string_view> ffmpeg_protocol(std::string_view path) {
  const auto name_end = std::min(path.find_first_not_of(protocol_name_characters), path.size());
  if (path.substr(name_end).starts_with(':')) return path.substr(0, name_end);
  if (path.starts_with("subfile,") && path.find(':', name_end + 1) != std::string_view::npos) {
    return "subfile";
  }
  return std::nullopt;
}

std::optional<std::filesystem::path> ffmpeg_local_file(std::string_view path) {
  const auto protocol = ffmpeg_protocol(path);
  if (!protocol) return std::filesystem::path(path);
  if (*protocol == "file") return std::filesystem::path(path.substr(protocol->size() + 1));
  return std::nullopt;
}

// "./" ends any protocol name at once ("/" is none of its characters) and
// takes the "-" away from the front, without changing which file is meant.
std::string ffmpeg_file_argument(std::string_view path) {
  if (read_as_option(path) || ffmpeg_protocol(path)) return "./" + std::string(path);
  return std::string(path);
}

}  // namespace quen
