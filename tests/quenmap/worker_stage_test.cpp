#include "quenmap/worker_stage.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <latch>
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

// Where each part's stack lies, taken while all the stage's workers are alive
// at once.
std::vector<std::uintptr_t> stack_addresses(std::size_t parts) {
  std::vector<std::uintptr_t> addresses(parts);
  std::latch all_running(static_cast<std::ptrdiff_t>(parts));
  run_worker_stage(parts, [&](std::size_t part) {
    volatile char local = 0;
    addresses[part] = reinterpret_cast<std::uintptr_t>(&local);
    all_running.arrive_and_wait();
  });
  return addresses;
}

// Stacks are lent from stage to stage, so two live workers must never get the
// same one, and a later stage should run on the stacks of an earlier one
// rather than on fresh memory.
TEST(WorkerStage, LiveWorkersHaveSeparateStacksThatLaterStagesReuse) {
  constexpr std::size_t parts = 16;
  const std::vector<std::uintptr_t> first = stack_addresses(parts);
  std::set<std::uintptr_t> sorted(first.begin(), first.end());
  ASSERT_EQ(sorted.size(), parts);
  for (auto it = sorted.begin(); std::next(it) != sorted.end(); ++it) {
    EXPECT_GE(*std::next(it) - *it, WorkerStack::usable_size) << "two live workers share a stack";
  }
  const auto on_a_first_stack = [&](std::uintptr_t address) {
    return std::any_of(first.begin(), first.end(), [&](std::uintptr_t earlier) {
      const std::uintptr_t distance = address > earlier ? address - earlier : earlier - address;
      return distance < WorkerStack::usable_size;
    });
  };
  const std::vector<std::uintptr_t> second = stack_addresses(parts);
  EXPECT_TRUE(std::all_of(second.begin(), second.end(), on_a_first_stack));
}

// A worker may use far more than the few kilobytes the analysis needs.
TEST(WorkerStage, WorkersHaveRoomOnTheirStacks) {
  std::atomic<int> sum = 0;
  run_worker_stage(4, [&](std::size_t part) {
    volatile unsigned char scratch[128 * 1024];
    for (std::size_t i = 0; i < sizeof scratch; i += 4096) scratch[i] = static_cast<unsigned char>(part);
    int local = 0;
    for (std::size_t i = 0; i < sizeof scratch; i += 4096) local += scratch[i];
    sum += local;
  });
  EXPECT_EQ(sum.load(), (0 + 1 + 2 + 3) * 32);
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
