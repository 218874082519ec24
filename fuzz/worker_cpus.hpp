#pragma once
// The processors that the analysis workers of one fuzz run may use.
//
// The analysis starts one worker thread per usable processor for each stage
// of each frame. On the small frames that fuzzing feeds it, starting them is
// most of a run's cost, so each input chooses how many of the fuzzer's
// processors to use: fewer is faster, and the split of a frame among every
// worker count from 1 up gets fuzzed along the way.

#include <sched.h>

#include <cstddef>
#include <vector>

namespace quen::fuzz {

class WorkerCpus {
 public:
  // Remembers the processors that the calling thread may use now.
  WorkerCpus();

  std::size_t available() const { return cpus_.size(); }

  // Lets the calling thread, and every thread it starts afterwards, run on
  // the first `count` remembered processors (all of them for 0 or too many).
  void use(std::size_t count) const;

 private:
  std::vector<int> cpus_;
};

}  // namespace quen::fuzz
