#pragma once
// Paths that a run would destroy. The mux replaces the output without
// asking, and a successful run removes the work directory with everything in
// it, so the output must be neither the input video, however its path is
// spelled, nor anything in the work directory, also through a link that
// points there before the run has made it; nor may the input itself lie in
// the work directory. The input is judged by the local file that FFmpeg
// opens for it ("file:v.mp4" is "v.mp4").

#include "common/file_identity.hpp"
#include "run_paths.hpp"

#include <string_view>

namespace encpipe {

// Throws quen::Error naming the path when the run would destroy it. Called
// before the work directory is made; changes nothing on disk.
void refuse_destructive_paths(std::string_view input, const RunPaths& paths);

// Called once the work directory `work_dir` exists and is locked: throws
// quen::Error when the directory the output would be written into is the
// work directory or lies within it, reached through a link that pointed
// nowhere until the work directory was made.
void refuse_output_in_work_dir(const RunPaths& paths, const quen::FileIdentity& work_dir);

}  // namespace encpipe
