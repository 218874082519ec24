#!/usr/bin/env bash
# Installs what is needed, builds the programs and writes the ROI map of the
# bundled sample into build/demo/.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
cmake --preset release >/dev/null
cmake --build --preset release --target mapgen encpipe
mkdir -p build/demo
build/release/src/bin/mapgen/mapgen samples/sample.mp4 -o build/demo/sample_roi.txt --show-cmd
