#!/usr/bin/env bash
# Installs what is needed, then builds and runs the whole test suite: the
# release build, the AddressSanitizer+UndefinedBehaviorSanitizer build, the
# threaded tests under ThreadSanitizer, and a one-minute fuzz run of the
# decode pass and map computation. Fails on the first failure.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
bash scripts/check_format.sh

for preset in release asan tsan; do
  echo "=== ${preset} ==="
  cmake --preset "${preset}" >/dev/null
  cmake --build --preset "${preset}"
  ctest --preset "${preset}"
done

echo "=== fuzz ==="
bash scripts/fuzz.sh 60
