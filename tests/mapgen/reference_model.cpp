#include "reference_model.hpp"

#include "clips.hpp"
#include "run_program.hpp"
#include "temp_dir.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>

namespace quen::testing {

GreyVideo read_grey_frames(const std::filesystem::path& clip, int width, int height) {
  TempDir dir("grey");
  const auto raw = dir / "frames.raw";
  const auto result = run_program({ffmpeg_program(), "-hide_banner", "-loglevel", "error", "-nostdin", "-i",
                                   clip.string(), "-f", "rawvideo", "-pix_fmt", "gray", raw.string()});
  if (result.exit_code != 0)
    throw std::runtime_error("ffmpeg could not decode " + clip.string() + ": " + result.err);
  GreyVideo video{width, height, 0, {}};
  const auto bytes = slurp(raw);
  video.samples.assign(bytes.begin(), bytes.end());
  video.frames = static_cast<int>(video.samples.size() / (static_cast<std::size_t>(width) * height));
  return video;
}

std::vector<float> model_d_values(const GreyVideo& v) {
  const int bw = v.width / 8, bh = v.height / 8;
  const std::size_t frame_size = static_cast<std::size_t>(v.width) * v.height;
  std::vector<float> d;
  for (int f = 1; f < v.frames; ++f) {
    const std::uint8_t* prev = &v.samples[(f - 1) * frame_size];
    const std::uint8_t* cur = &v.samples[f * frame_size];
    for (int by = 0; by < bh; ++by) {
      for (int bx = 0; bx < bw; ++bx) {
        const auto at = [&](const std::uint8_t* frame, int y, int x) -> std::int64_t {
          return frame[static_cast<std::size_t>(by * 8 + y) * v.width + bx * 8 + x];
        };
        // Whole numbers throughout: the sum of squares is exact in 64 bits.
        std::int64_t sum = 0;
        for (int i = 0; i < 8; ++i) {
          for (int j = 0; j < 8; ++j) {
            std::int64_t pc = 0, cp = 0;
            for (int k = 0; k < 8; ++k) {
              pc += at(prev, i, k) * at(cur, k, j);
              cp += at(cur, i, k) * at(prev, k, j);
            }
            sum += (pc - cp) * (pc - cp);
          }
        }
        d.push_back(static_cast<float>(std::sqrt(static_cast<double>(sum))));
      }
    }
  }
  return d;
}

namespace {

float reduce(std::vector<float> members, const std::string& method) {
  std::sort(members.begin(), members.end());
  if (method == "min") return members.front();
  if (method == "max") return members.back();
  if (method == "median") return members[members.size() / 2];
  return members[3 * members.size() / 4];
}

std::string method_of(const ModelOptions& o) {
  for (const char* name : {"min", "max", "median", "p75"}) {
    if (o.agg == name) return name;
  }
  return o.agg_fallback;
}

std::int32_t wrap32(std::int64_t v) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(v));
}

}  // namespace

ModelResult model_roi_map(const GreyVideo& video, const ModelOptions& options) {
  ModelResult r;
  r.blocks_w = video.width / 8;
  r.blocks_h = video.height / 8;
  r.cols = (video.width + 63) / 64;
  r.rows = (video.height + 63) / 64;
  r.pairs = video.frames - 1;
  const auto d = model_d_values(video);
  const std::string method = method_of(options);

  std::vector<float> svt;
  for (int p = 0; p < r.pairs; ++p) {
    for (int sr = 0; sr < r.rows; ++sr) {
      for (int sc = 0; sc < r.cols; ++sc) {
        std::vector<float> members;
        for (int by = 8 * sr; by < std::min(8 * sr + 8, r.blocks_h); ++by) {
          for (int bx = 8 * sc; bx < std::min(8 * sc + 8, r.blocks_w); ++bx) {
            members.push_back(
                d[static_cast<std::size_t>(p) * r.blocks_w * r.blocks_h + by * r.blocks_w + bx]);
          }
        }
        svt.push_back(members.empty() ? 0.0f : reduce(members, method));
      }
    }
  }

  const int count = std::clamp(options.segments, 2, 8);
  std::vector<float> sorted = svt;
  std::sort(sorted.begin(), sorted.end());
  const std::int64_t len = static_cast<std::int64_t>(sorted.size());
  for (int i = 1; i < count; ++i) {
    // i * (len - 1) / count, rounded half up, in exact integers.
    const std::int64_t position = (2 * i * (len - 1) + count) / (2 * count);
    r.thresholds.push_back(sorted[static_cast<std::size_t>(position)]);
  }

  const std::int32_t step = wrap32(2 * options.qp_range) / (count - 1);
  for (int b = 0; b < count; ++b) {
    const std::int64_t stepped = static_cast<std::int64_t>(b) * step;
    r.bucket_offsets.push_back(options.low_values_positive ? wrap32(options.qp_range - stepped)
                                                           : wrap32(stepped - options.qp_range));
  }
  r.bucket_counts.assign(count, 0);

  for (int p = 0; p < r.pairs; ++p) {
    r.map += std::to_string(p);
    for (int b = 0; b < r.cols * r.rows; ++b) {
      const float v = svt[static_cast<std::size_t>(p) * r.cols * r.rows + b];
      const auto bucket =
          std::count_if(r.thresholds.begin(), r.thresholds.end(), [&](float t) { return v > t; });
      ++r.bucket_counts[bucket];
      r.map += fmt::format(" {}", r.bucket_offsets[bucket]);
    }
    r.map += "\n";
  }
  return r;
}

}  // namespace quen::testing
