#pragma once
// How FFmpeg reads a path argument, in the libraries and in the ffmpeg
// program alike. A name whose leading run of letters, digits, "+", "-" and
// "." (empty too) is followed by ":" names a protocol ("12:00.mp4" asks for
// protocol "12"), as does a name beginning "subfile," with a ":" later on;
// any other name is a local file. Protocol "file" opens the local file named
// by the rest. The ffmpeg program also takes a positional argument beginning
// with "-" for an option.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace quen {

// The protocol FFmpeg opens `path` with; nothing for a plain local file.
std::optional<std::string_view> ffmpeg_protocol(std::string_view path);

// The local file that FFmpeg opens for `path`: `path` itself, or what follows
// "file:"; nothing for any other protocol. Checks of the file a path names
// (its identity, where it lies, its size) go through this, so that
// "file:v.mp4" is seen as the "v.mp4" that FFmpeg reads.
std::optional<std::filesystem::path> ffmpeg_local_file(std::string_view path);

// `path` itself when the ffmpeg program reads it as the file it names, which
// every absolute path is; otherwise `path` with "./" before it.
std::string ffmpeg_file_argument(std::string_view path);

}  // namespace quen
