#pragma once
// The whole of a program's main: the process set up for console output, the
// command line, the run, and the one place where a failure that escaped the
// run becomes the "Error:" report on standard error and exit status 1.

#include "console.hpp"
#include "error.hpp"

#include <exception>

namespace quen {

// A reader that goes away (`mapgen ... 2>&1 | head`) must not kill us in the
// middle of a write: SIGPIPE is ignored, so a write into a closed pipe fails
// with EPIPE instead. A console line that fails so is dropped; a file write
// that fails so is reported. Children started later get SIGPIPE back at its
// default action. A standard stream that is closed at start is opened on
// "/dev/null", so that no file we open later takes its number and receives
// console lines.
void prepare_process() noexcept;

// Prints the "Error:" report of `error` on standard error. Forming the report
// takes memory, which may be what ran out: then a fixed line is printed.
void print_error_report(const std::exception_ptr& error) noexcept;

// `parse` turns the arguments into the options record, or ends the process
// itself on help, version or a command-line error.
template <class Parse, class Run>
int program_main(int argc, char** argv, Parse&& parse, Run&& run) noexcept {
  prepare_process();
  const auto cli = parse(argc, argv);
  try {
    run(cli);
    return 0;
  } catch (...) {
    print_error_report(std::current_exception());
    return 1;
  }
}

}  // namespace quen
