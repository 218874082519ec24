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

// A stream copy of the clip `source`, made (once) by the ffmpeg program found
// first on PATH, whose video a player shows turned by `degrees`
// counter-clockwise; named after the source and the angle, in its container.
// The same number gives the same display matrix with any ffmpeg release:
// -display_rotation where the program knows it, else the rotate tag, which
// newer releases (7.1 among them) ignore when they write a file.
std::filesystem::path rotated_clip(const std::filesystem::path& source, int degrees);

// Path of the ffmpeg program the tests use.
std::string ffmpeg_program();

}  // namespace quen::testing
