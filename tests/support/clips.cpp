#include "clips.hpp"

#include "run_program.hpp"

#include <fmt/format.h>
#include <unistd.h>

#include <stdexcept>

namespace quen::testing {
namespace {

std::filesystem::path clip_dir() {
  const std::filesystem::path dir = QUEN_TEST_CLIP_DIR;
  std::filesystem::create_directories(dir);
  return dir;
}

}  // namespace

std::string ffmpeg_program() {
  return "/usr/bin/ffmpeg";
}

std::filesystem::path make_clip(const std::string& name, const std::vector<std::string>& args) {
  const auto path = clip_dir() / name;
  if (std::filesystem::exists(path)) return path;

  // Tests run in parallel: make the clip under a private name, then rename it
  // into place, which is atomic, so nobody ever sees half a clip.
  const auto ext = path.extension().string();
  const auto partial = clip_dir() / fmt::format(".{}.{}{}", name, getpid(), ext);
  std::vector<std::string> argv{ffmpeg_program(), "-hide_banner", "-loglevel", "error", "-nostdin", "-y"};
  argv.insert(argv.end(), args.begin(), args.end());
  argv.push_back(partial.string());
  const auto result = run_program(argv);
  if (result.exit_code != 0) {
    std::filesystem::remove(partial);
    throw std::runtime_error(fmt::format("ffmpeg could not make {}: {}", name, result.err));
  }
  std::filesystem::rename(partial, path);
  return path;
}

std::filesystem::path testsrc_clip(int width, int height, int frames, const std::string& container) {
  const auto name = fmt::format("testsrc2_{}x{}_{}.{}", width, height, frames, container);
  return make_clip(
      name, {"-f", "lavfi", "-i", fmt::format("testsrc2=size={}x{}:rate=25", width, height), "-frames:v",
             std::to_string(frames), "-c:v", "libx264", "-bf", "0", "-pix_fmt", "yuv420p"});
}

}  // namespace quen::testing
