#pragma once
// Console lines. Every line the programs print goes to standard error, which
// is unbuffered, so each line reaches the terminal the moment it is formatted.

#include <fmt/format.h>

#include <cstdio>
#include <utility>

namespace quen {

// A console line that cannot be written (standard error closed or full) is
// dropped, as the C library's own printing would drop it: it must not turn a
// finished run into a failure.
template <class... Args>
void eprint(fmt::format_string<Args...> format, Args&&... args) noexcept {
  try {
    fmt::print(stderr, format, std::forward<Args>(args)...);
  } catch (...) {
  }
}

}  // namespace quen
