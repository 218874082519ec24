#pragma once
// The work that one fuzz run may hand to the analysis.
//
// A few bytes can describe a long or huge video (a frame size in a header, a
// sample table that repeats one tiny packet), and mapgen analyses every frame
// of it, as it must. Under the sanitizers such a video takes longer than the
// fuzzer's time limit without anything being wrong, so the fuzzer measures
// each video first and runs only those within the budget.

#include <cstdint>
#include <string>

namespace quen::fuzz {

// The default budget: well under a second of analysis under the sanitizers,
// a tenth of the fuzzer's time limit even on a busy machine: 64 small frames,
// or four of 2048x2048.
inline constexpr std::uint64_t default_work_budget = std::uint64_t{1} << 24;

// QUENAV1_FUZZ_BUDGET when it holds a whole number, else the default; long
// runs with a larger time limit raise it to reach the largest frames.
std::uint64_t work_budget_from_environment();

enum class Measure {
  run,          // within budget, or failing early on its own
  over_budget,  // its run would take too long
  refused,      // the pass refuses its frame size at once: the measuring
                // already did all that its run would do
};

// Opens the video and costs each packet of its video stream as one frame of
// its size plus the fixed cost of analysing a frame at all, up to `budget`
// pixels. A video that cannot be opened or read is run: it fails early.
Measure measure_video(const std::string& path, std::uint64_t budget);

}  // namespace quen::fuzz
