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
                      "noise=alls=24:allf=t", "-frames:v", "300", "-c:v", "libx264", "-b:v", "56M",
                      "-maxrate", "56M", "-bufsize", "112M", "-pix_fmt", "yuv420p"],
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
    """Where mapgen's time goes: perf samples of all its threads, by the
    library or function they fell in (self time; the FFmpeg libraries carry no
    frame pointers, so callers cannot be credited with their callees)."""
    data = os.path.join(folder, "perf.data")
    subprocess.run(["perf", "record", "-q", "-F", "2000", "-o", data, mapgen, clip, "-o",
                    os.path.join(folder, "map.txt")], check=True, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)
    report = subprocess.run(["perf", "report", "-i", data, "--sort", "dso,symbol", "--stdio"],
                            capture_output=True, text=True).stdout
    steps = [
        ("decode (libavcodec)", lambda dso, sym: dso.startswith("libavcodec")),
        ("grey conversion (libswscale)", lambda dso, sym: dso.startswith("libswscale")),
        ("luma load", lambda dso, sym: "load_rows" in sym),
        ("d-value stage", lambda dso, sym: any(k in sym for k in ("block_d_values", "matmul_8x8",
                                                                   "frobenius_8x8", "d_value"))),
        ("aggregation", lambda dso, sym: "aggregate" in sym or "nth_element" in sym or "introselect" in sym),
        ("thresholds (sort)", lambda dso, sym: "segment_thresholds" in sym or "introsort" in sym
                                               or "insertion_sort" in sym),
        ("map writing (user side)", lambda dso, sym: "write_roi_map" in sym or "write_piece" in sym
                                                     or "write_number" in sym),
        ("kernel (threads, page faults, writes)", lambda dso, sym: dso == "[kernel.kallsyms]"),
        ("C library (copies, thread start)", lambda dso, sym: dso.startswith("libc")),
    ]
    shares = {name: 0.0 for name, _ in steps}
    other = 0.0
    for line in report.splitlines():
        parts = line.split()
        if len(parts) < 4 or not parts[0].endswith("%"):
            continue
        share, dso, sym = float(parts[0].rstrip("%")), parts[1], " ".join(parts[3:])
        for name, match in steps:
            if match(dso, sym):
                shares[name] += share
                break
        else:
            other += share
    print("  where the time goes (perf self samples, all threads):")
    for name, share in shares.items():
        print(f"    {name:40s} {share:5.1f}%")
    print(f"    {'other':40s} {other:5.1f}%")


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
