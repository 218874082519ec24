#include "encode_example.hpp"

#include "common/console.hpp"

#include <string>

namespace mapgen {

void print_encode_example(std::string_view input_path, std::string_view output_path,
                          const VideoFormat& video) {
  using quen::eprint;
  eprint("\n=== Encode example ===\n");
  eprint("# Convert input → raw YUV420P (Y4M):\n");
  std::string selection;
  for (const auto& option : quen::ffmpeg_selection_options(video.selection)) selection += " " + option;
  eprint("ffmpeg -i {}{} -pix_fmt yuv420p -f yuv4mpegpipe - | \\\n", input_path, selection);
  eprint("# Encode with SVT-AV1 + QuenMAP ROI map:\n");
  eprint("  SvtAv1EncApp -i stdin -b output.av1 \\\n");
  eprint("    --roi-map-file {} --crf 32 --preset 8 \\\n", output_path);
  eprint("    -w {} -h {} --fps-num {} --fps-denom {}\n", video.width, video.height, video.fps_num,
         video.fps_den);
  eprint("# Mux to MP4:\n");
  eprint("ffmpeg -i output.av1 -c copy output.mp4\n");
}

}  // namespace mapgen
