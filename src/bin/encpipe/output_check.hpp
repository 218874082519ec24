#pragma once
// Paths that a run would destroy. The mux overwrites the output without
// asking, and a successful run removes the work directory with everything in
// it, so the output must be neither the input video, however its path is
// spelled, nor anything in the work directory; nor may the input itself lie
// in the work directory.

#include "run_paths.hpp"

#include <string_view>

namespace encpipe {

// Throws quen::Error naming the path when the run would destroy it. Called
// before the work directory is made; changes nothing on disk.
void refuse_destructive_paths(std::string_view input, const RunPaths& paths);

}  // namespace encpipe
