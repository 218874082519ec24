#include "worker_stage.hpp"

#include <cstdlib>
#include <system_error>
#include <vector>

#include "common/console.hpp"

namespace quenmap {

namespace {

constexpr int spawn_failure_status = 101;

WorkerThread launch_worker(std::function<void()> body) {
  return WorkerThread(std::move(body));
}

void join_all(std::vector<WorkerThread>& workers) {
  for (WorkerThread& worker : workers) worker.join();
}

// The analysis cannot go on without its workers, and half a stage has no
// result worth keeping: stop the process, but only once no worker is still
// touching the stage's buffers.
[[noreturn]] void stop_after_spawn_failure(std::vector<WorkerThread>& started,
                                           const std::system_error& error) {
  join_all(started);
  quen::eprint("failed to spawn thread: {}\n", error.code().message());
  std::_Exit(spawn_failure_status);
}

}  // namespace

void run_worker_stage(std::size_t parts, const std::function<void(std::size_t part)>& work) {
  run_worker_stage(parts, work, launch_worker);
}

void run_worker_stage(std::size_t parts, const std::function<void(std::size_t part)>& work,
                      const ThreadLauncher& launch) {
  std::vector<WorkerThread> workers;
  workers.reserve(parts);
  for (std::size_t part = 0; part < parts; ++part) {
    try {
      workers.push_back(launch([&work, part] { work(part); }));
    } catch (const std::system_error& error) {
      stop_after_spawn_failure(workers, error);
    }
  }
  join_all(workers);
}

}  // namespace quenmap
