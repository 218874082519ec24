#include "quenmap/worker_stage.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <set>
#include <system_error>
#include <thread>
#include <vector>

namespace quenmap {
namespace {

TEST(WorkerStage, RunsEveryPartOnceOnItsOwnThread) {
  constexpr std::size_t parts = 16;
  std::vector<std::atomic<int>> runs(parts);
  std::vector<std::thread::id> threads(parts);
  run_worker_stage(parts, [&](std::size_t part) {
    runs[part].fetch_add(1);
    threads[part] = std::this_thread::get_id();
  });
  std::set<std::thread::id> distinct(threads.begin(), threads.end());
  for (std::size_t part = 0; part < parts; ++part) EXPECT_EQ(runs[part].load(), 1) << "part " << part;
  EXPECT_EQ(distinct.size(), parts);
  EXPECT_EQ(distinct.count(std::this_thread::get_id()), 0u) << "the caller computed a part itself";
}

TEST(WorkerStage, NoPartsStartsNothing) {
  int launches = 0;
  run_worker_stage(
      0, [](std::size_t) { FAIL() << "no part to run"; },
      [&](std::function<void()> body) {
        ++launches;
        return WorkerThread(std::move(body));
      });
  EXPECT_EQ(launches, 0);
}

// Starts real threads for the first `working` parts, then fails as a
// process out of threads would.
ThreadLauncher failing_after(int working) {
  return [working, started = 0](std::function<void()> body) mutable {
    if (started++ == working) throw std::system_error(EAGAIN, std::generic_category());
    return WorkerThread(std::move(body));
  };
}

// The workers that did start announce their end only after a pause: if the
// stage did not wait for them, the process would be gone before they spoke.
void stage_with_failed_spawn(int working) {
  run_worker_stage(
      4,
      [](std::size_t) {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        std::fputs("worker finished\n", stderr);
      },
      failing_after(working));
  std::fputs("stage returned\n", stderr);
}

TEST(WorkerStageDeathTest, FailedSpawnWaitsForStartedWorkersThenExits) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      stage_with_failed_spawn(2), ::testing::ExitedWithCode(101),
      "^worker finished\nworker finished\nfailed to spawn thread: Resource temporarily unavailable\n$");
}

TEST(WorkerStageDeathTest, FailedFirstSpawnExitsAtOnce) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(stage_with_failed_spawn(0), ::testing::ExitedWithCode(101),
              "^failed to spawn thread: Resource temporarily unavailable\n$");
}

}  // namespace
}  // namespace quenmap
