#pragma once
// Error values of the whole system: a message with a chain of causes.
//
// A failure is thrown as an exception; context is added on the way up with
// std::throw_with_nested, so the chain is the standard library's own nesting.
// main turns whatever escapes into the "Error:" report and exit status 1.

#include <exception>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

namespace quen {

// A failure with its own message, such as "No video stream found".
class Error : public std::runtime_error {
 public:
  explicit Error(const std::string& message) : std::runtime_error(message) {}
};

// Must be called while an exception is being handled: throws `context` with
// the current exception nested as its cause.
[[noreturn]] void rethrow_with_context(std::string_view context);

// Throws `context` with `cause` nested as its cause.
template <class Cause>
[[noreturn]] void throw_with_context(std::string_view context, const Cause& cause) {
  try {
    throw cause;
  } catch (...) {
    rethrow_with_context(context);
  }
}

// Runs `step`; any exception it throws comes out with `context` around it.
template <class Step>
decltype(auto) with_context(std::string_view context, Step&& step) {
  try {
    return std::forward<Step>(step)();
  } catch (...) {
    rethrow_with_context(context);
  }
}

// The error report: the outermost message, then, when the error has causes,
// a blank line, "Caused by:" and one line per cause from the outermost inward.
// A failed allocation (std::bad_alloc and its kin) reads "out of memory".
std::string error_report(const std::exception& error);

// The report of a failure that escaped a program's run.
std::string error_report(const std::exception_ptr& error);

}  // namespace quen
