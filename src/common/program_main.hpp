#pragma once
// The one place where a failure that escaped a program's run becomes the
// "Error:" report on standard error and exit status 1.

#include "console.hpp"
#include "error.hpp"

#include <exception>

namespace quen {

template <class Run>
int program_main(Run&& run) noexcept {
  try {
    run();
    return 0;
  } catch (...) {
    eprint("Error: {}\n", error_report(std::current_exception()));
    return 1;
  }
}

}  // namespace quen
