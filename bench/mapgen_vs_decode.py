#!/usr/bin/env python3
"""How much mapgen costs next to the decoding it cannot avoid.

For each clip, times (several runs each, median and spread):
  - mapgen with its defaults, the map written to a temporary directory;
  - the floor: ffmpeg -threads 1 -i CLIP -an -vf format=gray -f null -
    (the same single-threaded decoder configuration, plus a grey conversion).
Prints the ratio mapgen / floor, mapgen's peak resident memory next to what the
design must hold (the video stream's packets, d_history, svt_values and two
frame buffers of 8 bytes per analysed pixel), and, with --breakdown, where
mapgen's time goes, sampled with perf.

Without clip arguments it makes its own inputs with ffmpeg from lavfi sources
(kept in --clips, default build/bench-clips):
  clean1080.mp4  1920x1080 H.264, 300 frames at 30000/1001, testsrc2 (~7 MB)
  noisy1080.mp4  the same with temporal noise at a high bitrate (~70 MB)
  uhd2160.mp4    3840x2160 H.264, 60 frames
"""

import argparse
import json
import os
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

CLIPS = {
    "clean1080.mp4": ["-f", "lavfi", "-i", "testsrc2=size=1920x1080:rate=30000/1001", "-frames:v", "300",
                      "-c:v", "libx264", "-pix_fmt", "yuv420p"],
    "noisy1080.mp4": ["-f", "lavfi", "-i", "testsrc2=size=1920x1080:rate=30000/1001", "-vf",
                      "noise=alls=24:allf=t", "-frames:v", "300", "-c:v", "libx264", "-b:v", "19M",
                      "-maxrate", "19M", "-bufsize", "38M", "-pix_fmt", "yuv420p"],
    "uhd2160.mp4": ["-f", "lavfi", "-i", "testsrc2=size=3840x2160:rate=30000/1001", "-frames:v", "60",
                    "-c:v", "libx264", "-pix_fmt", "yuv420p"],
}


def make_clips(folder):
    os.makedirs(folder, exist_ok=True)
    paths = []
    for name, args in CLIPS.items():
        path = os.path.join(folder, name)
        if not os.path.exists(path):
            print(f"making {path} ...", file=sys.stderr)
            subprocess.run(["ffmpeg", "-hide_banner", "-loglevel", "error", "-nostdin", "-y", *args, path],
                           check=True)
        paths.append(path)
    return paths


def timed(argv):
    """Wall time and peak resident memory (bytes) of one run."""
    start = time.perf_counter()
    child = subprocess.Popen(argv, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    _, status, usage = os.wait4(child.pid, 0)
    elapsed = time.perf_counter() - start
    if status != 0:
        sys.exit(f"failed ({status}): {' '.join(argv)}")
    return elapsed, usage.ru_maxrss * 1024


def probe(clip):
    out = subprocess.run(["ffprobe", "-v", "error", "-select_streams", "v:0", "-count_packets", "-show_entries",
                          "stream=width,height,nb_read_packets", "-of", "json", clip],
                         check=True, capture_output=True, text=True).stdout
    stream = json.loads(out)["streams"][0]
    sizes = subprocess.run(["ffprobe", "-v", "error", "-select_streams", "v:0", "-show_entries", "packet=size",
                            "-of", "csv=p=0", clip], check=True, capture_output=True, text=True).stdout.split()
    return stream["width"], stream["height"], int(stream["nb_read_packets"]), sum(int(s) for s in sizes)


def design_bytes(clip):
    width, height, frames, packet_bytes = probe(clip)
    bw, bh = width // 8, height // 8
    svt = ((width + 63) // 64) * ((height + 63) // 64)
    pairs = max(frames - 1, 0)
    return packet_bytes + pairs * bw * bh * 4 + pairs * svt * 4 + 2 * (bw * 8) * (bh * 8) * 8


def summary(values):
    median = statistics.median(values)
    return median, (max(values) - min(values)) / median * 100 if median else 0.0


def breakdown(mapgen, clip, folder):
    """Where mapgen's time goes, from perf samples of all its threads."""
    data = os.path.join(folder, "perf.data")
    subprocess.run(["perf", "record", "-q", "-F", "2000", "-g", "-o", data, mapgen, clip, "-o",
                    os.path.join(folder, "map.txt")], check=True, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)
    report = subprocess.run(["perf", "report", "-i", data, "--children", "--sort", "symbol", "-g", "none",
                             "--percent-limit", "0.5", "--stdio"], capture_output=True, text=True).stdout
    steps = {
        "decode (avcodec_send_packet + receive)": ["avcodec_send_packet", "avcodec_receive_frame"],
        "grey conversion (sws_scale)": ["sws_scale"],
        "luma load": ["load_rows"],
        "d-value stage": ["block_d_values"],
        "worker threads start/stop": ["pthread_create", "clone3", "__munmap"],
        "aggregation": ["aggregate_svt_blocks"],
        "thresholds": ["segment_thresholds"],
        "map writing": ["write_roi_map"],
    }
    print("  where the time goes (perf, share of all samples incl. callees):")
    for step, symbols in steps.items():
        share = 0.0
        for line in report.splitlines():
            parts = line.split()
            if len(parts) >= 3 and parts[0].endswith("%") and any(s in line for s in symbols):
                share = max(share, float(parts[0].rstrip("%")))
        print(f"    {step:42s} {share:5.1f}%")


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("clips", nargs="*", help="clips to measure (default: make the three standard ones)")
    parser.add_argument("--mapgen", default=os.path.join(ROOT, "build/release/src/bin/mapgen/mapgen"))
    parser.add_argument("--clips-dir", default=os.path.join(ROOT, "build/bench-clips"))
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--breakdown", action="store_true", help="also sample mapgen with perf")
    args = parser.parse_args()

    clips = args.clips or make_clips(args.clips_dir)
    with tempfile.TemporaryDirectory() as folder:
        for clip in clips:
            floor = [timed(["ffmpeg", "-nostdin", "-threads", "1", "-i", clip, "-an", "-vf", "format=gray", "-f",
                            "null", "-"])[0] for _ in range(args.runs)]
            runs = [timed([args.mapgen, clip, "-o", os.path.join(folder, "map.txt")]) for _ in range(args.runs)]
            mapgen_median, mapgen_spread = summary([t for t, _ in runs])
            floor_median, floor_spread = summary(floor)
            peak = max(rss for _, rss in runs)
            must_hold = design_bytes(clip)
            print(f"{os.path.basename(clip)}")
            print(f"  floor   {floor_median:7.3f} s  (spread {floor_spread:4.1f}%)")
            print(f"  mapgen  {mapgen_median:7.3f} s  (spread {mapgen_spread:4.1f}%)")
            print(f"  ratio   {mapgen_median / floor_median:7.2f}")
            print(f"  memory  {peak / 2**20:7.1f} MB peak, design holds {must_hold / 2**20:.1f} MB "
                  f"(+{(peak - must_hold) / 2**20:.1f} MB)")
            if args.breakdown:
                breakdown(args.mapgen, clip, folder)


if __name__ == "__main__":
    main()
