#pragma once
// The names of an encpipe run, all derived from the command line and TMPDIR.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace encpipe {

struct RunPaths {
  std::string input_stem;
  std::string output_path;         // --output, else "<stem>_quenav1.mp4" here
  std::filesystem::path work_dir;  // "quenav1_<stem>" in the temporary directory
  std::filesystem::path roi_path;  // work_dir/roi.txt
  std::filesystem::path av1_path;  // work_dir/out.av1
};

// `tmpdir` is the value of TMPDIR, null when it is not set.
RunPaths run_paths(std::string_view input, const std::optional<std::string>& output, const char* tmpdir);

}  // namespace encpipe
