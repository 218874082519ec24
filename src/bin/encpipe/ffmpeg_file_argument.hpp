#pragma once
// A file named to an ffmpeg child as an argument that ffmpeg reads as that
// file. ffmpeg takes a positional argument beginning with "-" for an option,
// and a name whose leading run of letters, digits, "+", "-" and "." (empty
// too) is followed by ":" for a protocol ("12:00.mp4" asks for protocol
// "12"), as is a name beginning "subfile," with a ":" later on.

#include <string>
#include <string_view>

namespace encpipe {

// `path` itself when ffmpeg reads it as the file it names, which every
// absolute path is; otherwise `path` with "./" before it.
std::string ffmpeg_file_argument(std::string_view path);

}  // namespace encpipe
