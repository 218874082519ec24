#pragma once
// UTF-8 validity of texts that reach us as raw bytes: command-line arguments
// and the names taken from paths.

#include <string>
#include <string_view>

namespace quen {

// True when `text` is well-formed UTF-8: no stray continuation bytes, no
// truncated, overlong or surrogate sequences, nothing above U+10FFFF.
bool is_valid_utf8(std::string_view text);

// `text` with every byte that does not begin a well-formed sequence replaced
// by U+FFFD, so that a bad argument can still be named in a message.
std::string to_valid_utf8(std::string_view text);

}  // namespace quen
