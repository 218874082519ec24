// libFuzzer target: arbitrary bytes as the input video of mapgen's run.
//
// A video that mapgen refuses (any std::exception of the run, which mapgen
// would report with exit status 1) is an expected outcome; a crash, a leak,
// undefined behaviour, a hang or a broken property of the results is a
// finding.

#include "map_checks.hpp"
#include "map_choices.hpp"
#include "map_run.hpp"
#include "memory_file.hpp"
#include "quenmap/ffmpeg_error.hpp"
#include "work_budget.hpp"
#include "worker_cpus.hpp"

extern "C" {
#include <libavutil/log.h>
}

#include <cstddef>
#include <cstdint>
#include <exception>
#include <span>

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
  quen::fuzz::keep_report_stream();
  // Broken inputs make FFmpeg's decoders chatty; millions of runs would
  // drown the fuzzer's own output. The programs themselves leave it as is.
  av_log_set_level(AV_LOG_QUIET);
  quenmap::init_ffmpeg();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static quen::fuzz::MemoryFile input("fuzz_input");
  static const quen::fuzz::MemoryFile map("fuzz_roi_map");
  static const std::uint64_t budget = quen::fuzz::work_budget_from_environment();
  static const quen::fuzz::WorkerCpus worker_cpus;
  const std::span<const std::uint8_t> bytes(data, size);
  input.replace(bytes);
  // A video over the budget is left out; one that the pass refuses at once
  // for its frame size has done, in being measured, all that its run would.
  if (quen::fuzz::measure_video(input.path(), budget) != quen::fuzz::Measure::run) return 0;
  const auto choices = quen::fuzz::map_choices_from_tail(bytes);
  worker_cpus.use(choices.worker_cpus % (worker_cpus.available() + 1));
  try {
    quen::fuzz::run_map_computation(input.path(), map, choices);
  } catch (const std::exception&) {
    // Refused video: the orderly failure that mapgen reports.
  }
  return 0;
}
