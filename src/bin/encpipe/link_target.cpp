#include "link_target.hpp"

#include <system_error>

namespace encpipe {

namespace fs = std::filesystem;

fs::path link_target(fs::path path) {
  for (int hops = 0; hops < 40; ++hops) {
    std::error_code error;
    if (!fs::is_symlink(fs::symlink_status(path, error)) || error) break;
    const fs::path target = fs::read_symlink(path, error);
    if (error) break;
    path = path.parent_path() / target;
  }
  return path;
}

}  // namespace encpipe
