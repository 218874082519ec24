#include "output_check.hpp"

#include "common/error.hpp"
#include "common/file_identity.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <system_error>

namespace encpipe {
namespace {

namespace fs = std::filesystem;

// The path as the system will resolve it: absolute, with the symbolic links
// of its existing part followed and "." and ".." taken out.
fs::path resolved(const fs::path& path) {
  std::error_code error;
  auto absolute = fs::absolute(path, error);
  if (error) return path.lexically_normal();
  auto canonical = fs::weakly_canonical(absolute, error);
  return error ? absolute.lexically_normal() : canonical;
}

bool lies_within(const fs::path& path, const fs::path& dir) {
  const auto p = resolved(path);
  const auto d = resolved(dir);
  return std::mismatch(d.begin(), d.end(), p.begin(), p.end()).first == d.end();
}

// A hard link elsewhere to a file the run writes in its work directory.
bool is_a_work_file(const fs::path& path, const RunPaths& paths) {
  const auto identity = quen::file_identity(path);
  return identity &&
         (identity == quen::file_identity(paths.roi_path) || identity == quen::file_identity(paths.av1_path));
}

}  // namespace

void refuse_destructive_paths(std::string_view input, const RunPaths& paths) {
  const fs::path output(paths.output_path);
  quen::refuse_output_that_is_input(quen::file_identity(output), paths.output_path, input);
  if (lies_within(output, paths.work_dir) || is_a_work_file(output, paths)) {
    throw quen::Error(fmt::format("the output path lies in the work directory {}, which the run removes: {}",
                                  paths.work_dir.string(), paths.output_path));
  }
  if (lies_within(input, paths.work_dir)) {
    throw quen::Error(fmt::format("the input video lies in the work directory {}, which the run removes: {}",
                                  paths.work_dir.string(), input));
  }
}

}  // namespace encpipe
