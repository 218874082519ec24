#include "run_paths.hpp"

#include "common/input_stem.hpp"
#include "work_dir.hpp"

#include <fmt/format.h>

namespace encpipe {

RunPaths run_paths(std::string_view input, const std::optional<std::string>& output, const char* tmpdir) {
  RunPaths paths;
  paths.input_stem = quen::input_stem(input, "output");
  // No directory is added: the default output lies in the current
  // directory, wherever the input is.
  paths.output_path = output.value_or(fmt::format("{}_quenav1.mp4", paths.input_stem));
  paths.work_dir = work_dir_path(temporary_directory(tmpdir), paths.input_stem);
  paths.roi_path = paths.work_dir / "roi.txt";
  paths.av1_path = paths.work_dir / "out.av1";
  return paths;
}

}  // namespace encpipe
