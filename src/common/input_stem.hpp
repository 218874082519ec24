#pragma once
// Names taken from paths: the input stem that both programs build their
// output names from, and the file name that the usage line shows.

#include <optional>
#include <string>
#include <string_view>

namespace quen {

// The file name of `path`: its last component, trailing "/" and "."
// components ignored. Nothing when the path has none: an empty path, "/",
// "." or a path that ends in "..".
std::optional<std::string_view> last_path_component(std::string_view path);

// The file name of `path` without its final extension (the part before the
// last "."). A name whose only "." is its first character (".clip") and a
// name without "." are their own stems. `fallback` when the path has no
// file name or the stem is not valid UTF-8.
std::string input_stem(std::string_view path, std::string_view fallback);

}  // namespace quen
