#include "clips.hpp"

#include "run_program.hpp"

#include <fmt/format.h>
#include <unistd.h>

#include <cstdlib>
#include <sstream>
#include <stdexcept>

namespace quen::testing {
namespace {

std::filesystem::path clip_dir() {
  const std::filesystem::path dir = QUEN_TEST_CLIP_DIR;
  std::filesystem::create_directories(dir);
  return dir;
}

std::filesystem::path make_clip_with(const std::string& program, const std::string& name,
                                     const std::vector<std::string>& args) {
  const auto path = clip_dir() / name;
  if (std::filesystem::exists(path)) return path;

  // Tests run in parallel: make the clip under a private name, then rename it
  // into place, which is atomic, so nobody ever sees half a clip.
  const auto ext = path.extension().string();
  const auto partial = clip_dir() / fmt::format(".{}.{}{}", name, getpid(), ext);
  std::vector<std::string> argv{program, "-hide_banner", "-loglevel", "error", "-nostdin", "-y"};
  argv.insert(argv.end(), args.begin(), args.end());
  argv.push_back(partial.string());
  const auto result = run_program(argv);
  if (result.exit_code != 0) {
    std::filesystem::remove(partial);
    throw std::runtime_error(fmt::format("{} could not make {}: {}", program, name, result.err));
  }
  std::filesystem::rename(partial, path);
  return path;
}

// run_program does not search PATH, and the rotated clips must come from the
// ffmpeg a run of the suite puts first there: the release under test.
std::string ffmpeg_on_path() {
  const char* path = std::getenv("PATH");
  std::istringstream dirs(path ? path : "");
  for (std::string dir; std::getline(dirs, dir, ':');) {
    const auto candidate = (dir.empty() ? std::filesystem::path(".") : std::filesystem::path(dir)) / "ffmpeg";
    if (std::filesystem::is_regular_file(candidate) && access(candidate.c_str(), X_OK) == 0)
      return candidate.string();
  }
  throw std::runtime_error("no ffmpeg program on PATH");
}

// The option list is asked once rather than trying the option and reading
// the failure, whose wording is no interface.
bool knows_display_rotation(const std::string& ffmpeg) {
  const auto help = run_program({ffmpeg, "-hide_banner", "-h", "long"});
  if (help.exit_code != 0) throw std::runtime_error(fmt::format("{} -h long failed: {}", ffmpeg, help.err));
  return help.out.find("\n-display_rotation") != std::string::npos;
}

}  // namespace

std::string ffmpeg_program() {
  return "/usr/bin/ffmpeg";
}

std::filesystem::path make_clip(const std::string& name, const std::vector<std::string>& args) {
  return make_clip_with(ffmpeg_program(), name, args);
}

std::filesystem::path testsrc_clip(int width, int height, int frames, const std::string& container) {
  const auto name = fmt::format("testsrc2_{}x{}_{}.{}", width, height, frames, container);
  return make_clip(
      name, {"-f", "lavfi", "-i", fmt::format("testsrc2=size={}x{}:rate=25", width, height), "-frames:v",
             std::to_string(frames), "-c:v", "libx264", "-bf", "0", "-pix_fmt", "yuv420p"});
}

std::filesystem::path rotated_clip(const std::filesystem::path& source, int degrees) {
  static const std::string ffmpeg = ffmpeg_on_path();
  static const bool display_rotation = knows_display_rotation(ffmpeg);
  const auto name =
      fmt::format("{}_rotation_{}{}", source.stem().string(), degrees, source.extension().string());
  const auto angle = std::to_string(degrees);
  // -display_rotation counts counter-clockwise, and so does the display
  // matrix that older releases make of the rotate tag: one number for both.
  if (display_rotation)
    return make_clip_with(ffmpeg, name,
                          {"-display_rotation:v:0", angle, "-i", source.string(), "-c", "copy"});
  return make_clip_with(ffmpeg, name,
                        {"-i", source.string(), "-c", "copy", "-metadata:s:v:0", "rotate=" + angle});
}

}  // namespace quen::testing
