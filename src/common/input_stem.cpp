#include "input_stem.hpp"

#include "utf8.hpp"

namespace quen {

namespace {

// Drops trailing separators and "." components, which name no file of
// their own: "a/b/./" names b.
std::string_view without_trailing_dots(std::string_view path) {
  for (;;) {
    while (path.ends_with('/')) path.remove_suffix(1);
    if (path == "." || path.ends_with("/.")) {
      path.remove_suffix(1);
    } else {
      return path;
    }
  }
}

}  // namespace

std::optional<std::string_view> last_path_component(std::string_view path) {
  path = without_trailing_dots(path);
  if (path.empty()) return std::nullopt;
  const auto slash = path.rfind('/');
  const auto name = slash == std::string_view::npos ? path : path.substr(slash + 1);
  if (name == "..") return std::nullopt;
  return name;
}

std::string input_stem(std::string_view path, std::string_view fallback) {
  const auto name = last_path_component(path);
  if (!name) return std::string(fallback);
  const auto dot = name->rfind('.');
  // A leading dot marks a hidden file, not an extension.
  const auto stem = dot == std::string_view::npos || dot == 0 ? *name : name->substr(0, dot);
  if (!is_valid_utf8(stem)) return std::string(fallback);
  return std::string(stem);
}

}  // namespace quen
