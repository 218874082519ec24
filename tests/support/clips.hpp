#pragma once
// Test videos made by the real ffmpeg program from its lavfi sources.
//
// Each clip is made once per build tree and kept in a shared folder, so the
// many tests that use the same clip do not make it again.

#include <filesystem>
#include <string>
#include <vector>

namespace quen::testing {

// Makes (once) the file `name` in the clip folder by running
//   ffmpeg -hide_banner -loglevel error -nostdin -y <args...> <path>
// and returns its path. Throws when ffmpeg fails.
std::filesystem::path make_clip(const std::string& name, const std::vector<std::string>& args);

// A testsrc2 clip of the given size and frame count (H.264 in MP4, 25 fps,
// no B-frames unless asked), the common case for the programs' tests.
std::filesystem::path testsrc_clip(int width, int height, int frames, const std::string& container = "mp4");

// Path of the ffmpeg program the tests use.
std::string ffmpeg_program();

}  // namespace quen::testing
