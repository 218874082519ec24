#include "input_check.hpp"

#include "common/error.hpp"
#include "common/ffmpeg_path.hpp"

#include <fmt/format.h>
#include <sys/stat.h>

#include <optional>

namespace encpipe {
namespace {

// What the input is, when it is a kind that gives its data once.
std::optional<std::string_view> read_once_kind(std::string_view input) {
  const auto protocol = quen::ffmpeg_protocol(input);
  if (protocol == "pipe") return "a pipe";
  if (protocol == "fd") return "a file descriptor";
  const auto file = quen::ffmpeg_local_file(input);
  struct stat st {};
  if (!file || stat(file->c_str(), &st) != 0) return std::nullopt;
  if (S_ISFIFO(st.st_mode)) return "a pipe";
  if (S_ISSOCK(st.st_mode)) return "a socket";
  if (S_ISCHR(st.st_mode)) return "a character device";
  return std::nullopt;
}

}  // namespace

void refuse_input_read_only_once(std::string_view input) {
  if (const auto kind = read_once_kind(input)) {
    throw quen::Error(
        fmt::format("the input video {} is {}, which cannot be read three times: encpipe reads it once for "
                    "the analysis, once to encode and once to mux",
                    input, *kind));
  }
}

}  // namespace encpipe
