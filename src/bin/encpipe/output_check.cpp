#include "output_check.hpp"

#include "common/error.hpp"
#include "common/ffmpeg_path.hpp"
#include "link_target.hpp"

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

// The output as the system resolves it when ffmpeg creates it: the links of
// every part followed, dangling ones too, since the directory that a
// dangling link names may exist by then; made by this very run, when it is
// the work directory.
fs::path resolved_output(const fs::path& output) {
  fs::path followed;
  for (const auto& part : output) followed = link_target(followed / part);
  return resolved(followed);
}

bool lies_within(const fs::path& resolved_path, const fs::path& dir) {
  const auto d = resolved(dir);
  return std::mismatch(d.begin(), d.end(), resolved_path.begin(), resolved_path.end()).first == d.end();
}

// A hard link elsewhere to a file the run writes in its work directory.
bool is_a_work_file(const fs::path& path, const RunPaths& paths) {
  const auto identity = quen::file_identity(path);
  return identity &&
         (identity == quen::file_identity(paths.roi_path) || identity == quen::file_identity(paths.av1_path));
}

[[noreturn]] void throw_output_in_work_dir(const RunPaths& paths) {
  throw quen::Error(fmt::format("the output path lies in the work directory {}, which the run removes: {}",
                                paths.work_dir.string(), paths.output_path));
}

}  // namespace

void refuse_destructive_paths(std::string_view input, const RunPaths& paths) {
  const fs::path output(paths.output_path);
  const auto input_file = quen::ffmpeg_local_file(input);
  if (input_file) {
    quen::refuse_output_that_is_input(quen::file_identity(output), paths.output_path, *input_file);
  }
  if (lies_within(resolved_output(output), paths.work_dir) || is_a_work_file(output, paths)) {
    throw_output_in_work_dir(paths);
  }
  if (input_file && lies_within(resolved(*input_file), paths.work_dir)) {
    throw quen::Error(fmt::format("the input video lies in the work directory {}, which the run removes: {}",
                                  paths.work_dir.string(), input));
  }
}

void refuse_output_in_work_dir(const RunPaths& paths, const quen::FileIdentity& work_dir) {
  std::error_code error;
  const fs::path absolute = fs::absolute(link_target(paths.output_path), error);
  if (error) return;
  // A directory that cannot be resolved cannot take the output either: the
  // mux fails there on its own.
  fs::path dir = fs::canonical(absolute.parent_path(), error);
  if (error) return;
  // The canonical path has no links left, so its leading parts are the
  // directories that really hold the output.
  for (;;) {
    if (quen::file_identity(dir) == work_dir) throw_output_in_work_dir(paths);
    if (dir == dir.parent_path()) return;
    dir = dir.parent_path();
  }
}

}  // namespace encpipe
