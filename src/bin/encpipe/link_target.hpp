#pragma once
// Where a path leads once its own symbolic links are followed, dangling ones
// too: ffmpeg creates the file that a dangling link points to.

#include <filesystem>

namespace encpipe {

// `path` with its last part replaced by what that names, link after link (at
// most 40); the links of its leading directories stay as they are. A
// relative link is read from the directory that holds it.
std::filesystem::path link_target(std::filesystem::path path);

}  // namespace encpipe
