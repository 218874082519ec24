#pragma once
// One stage of parallel work: a fresh thread per part, all waited for before
// the stage returns. The end of the stage is the only synchronisation the
// workers need: each writes only its own part.

#include <cstddef>
#include <functional>

#include "worker_thread.hpp"

namespace quenmap {

// Starts a thread running `body`; throws std::system_error when it cannot.
using ThreadLauncher = std::function<WorkerThread(std::function<void()> body)>;

// Runs work(0) .. work(parts - 1), each on its own new thread, and returns
// when all have ended. A thread that cannot be started ends the process with
// exit status 101 and "failed to spawn thread: <reason>" on standard error,
// after waiting for the workers already started.
void run_worker_stage(std::size_t parts, const std::function<void(std::size_t part)>& work);

// The same with the thread creation supplied by the caller.
void run_worker_stage(std::size_t parts, const std::function<void(std::size_t part)>& work,
                      const ThreadLauncher& launch);

}  // namespace quenmap
