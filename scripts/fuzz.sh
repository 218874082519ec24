#!/usr/bin/env bash
# Builds the "fuzz" preset (clang, libFuzzer, AddressSanitizer + UBSan) and
# fuzzes mapgen's decode pass and map computation for SECONDS (default 60) of
# wall time, on a scratch copy of fuzz/corpus/ (the seeds and every regression
# input, all replayed first). Exits non-zero on any finding: a crash, a leak,
# undefined behaviour, a broken property of the results, a run over the time
# limit or over the memory limits. The inputs of the findings are kept in the
# printed directory; each reproduces with
#     build/fuzz/fuzz/fuzz_mapgen <input>
# (leave out -close_fd_mask to see the run's console lines). A fixed finding's
# input goes into fuzz/corpus/regressions/ (under 1 MB: libFuzzer skips
# larger corpus files without a word).
#
#     bash scripts/fuzz.sh [SECONDS]
#
# Environment:
#   FUZZ_WORKERS         fuzzers side by side, each on two processors of its
#                        own (default 4, or half the processors when fewer)
#   FUZZ_TIMEOUT         seconds one input may take (default 10)
#   FUZZ_KEEP=1          keep the scratch corpus after a clean run
#   QUENAV1_FUZZ_BUDGET  pixels of analysis one input may cost, read by the
#                        fuzzer itself (fuzz/work_budget.hpp; default 2^26)
#
# A longer run, eight hours, that also lets the largest frames through (a
# budget of 2^30 pixels admits two frames of 16384x16000, which take about
# 25 s under the sanitizers, hence the longer time limit; three workers, so
# that three runs at the memory limit fit in 24 GB):
#
#     FUZZ_KEEP=1 FUZZ_WORKERS=3 FUZZ_TIMEOUT=120 QUENAV1_FUZZ_BUDGET=1073741824 \
#       bash scripts/fuzz.sh 28800
#
# Memory limits, per worker:
# - -malloc_limit_mb=2560: the decoders accept frames up to (w+128)*(h+128) <
#   2^28 pixels (about 16384x16384), and the analysis holds such a frame as
#   8-byte samples in one allocation of up to 2 GiB. FFmpeg itself never
#   allocates more than 2 GiB at once. One allocation above 2.5 GiB is a fault.
# - -rss_limit_mb=7168: the analysis holds two such frames (4 GiB), the
#   decoder one frame of up to 6 bytes a pixel (16-bit 4:4:4, 1.5 GiB) and the
#   pass one grey frame (256 MiB); with the sanitizers' own memory, a two-frame
#   16384x16000 video peaks at 5.4 GiB (grey) to about 6.6 GiB (16-bit 4:4:4).
#   With the default budget a run stays near 1 GiB, so four workers are safe;
#   with the budget raised, mind workers x 7 GiB against the machine's memory.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${1:-60}"
timeout="${FUZZ_TIMEOUT:-10}"

# The processors this script may use, one number a line ("0-3,6" expanded).
allowed_cpus() {
  local list range
  list=$(awk '/^Cpus_allowed_list:/ { print $2 }' /proc/self/status)
  for range in ${list//,/ }; do seq "${range%-*}" "${range#*-}"; done
}
mapfile -t cpus < <(allowed_cpus)
default_workers=$((${#cpus[@]} / 2 < 4 ? ${#cpus[@]} / 2 : 4))
workers="${FUZZ_WORKERS:-$((default_workers > 0 ? default_workers : 1))}"

# ccache does not see the coverage ignore list, which changes the objects.
export CCACHE_EXTRAFILES="${PWD}/fuzz/coverage_ignorelist.txt"
cmake --preset fuzz >/dev/null
cmake --build build/fuzz --target fuzz_mapgen
fuzzer="${PWD}/build/fuzz/fuzz/fuzz_mapgen"
dict="${PWD}/fuzz/fuzz_mapgen.dict"

work="$(mktemp -d "${TMPDIR:-/tmp}/quenav1_fuzz.XXXXXX")"
cp -r fuzz/corpus "${work}/corpus"
mkdir "${work}/findings"

echo "=== fuzz_mapgen: ${seconds} s, ${workers} workers, scratch ${work} ==="
# Independent fuzzers on one corpus directory, each reloading what the others
# add, side by side for the whole time. Each gets its own two processors: the
# analysis starts a worker per usable processor for every frame, and thread
# starts spread over all processors of a busy machine cost more than the
# fuzzing itself (a pinned fuzzer runs 2 to 3 times the inputs).
pids=()
for ((i = 0; i < workers; i++)); do
  pair="${cpus[$((2 * i % ${#cpus[@]}))]},${cpus[$(((2 * i + 1) % ${#cpus[@]}))]}"
  (
    cd "${work}"
    exec taskset -c "${pair}" "${fuzzer}" corpus -max_total_time="${seconds}" -timeout="${timeout}" \
      -rss_limit_mb=7168 -malloc_limit_mb=2560 -close_fd_mask=2 -print_final_stats=1 \
      -artifact_prefix=findings/ -dict="${dict}" >"fuzz-${i}.log" 2>&1
  ) &
  pids+=($!)
done
trap 'kill "${pids[@]}" 2>/dev/null' INT TERM
status=0
for pid in "${pids[@]}"; do wait "${pid}" || status=$?; done

executions=$(awk '/^stat::number_of_executed_units:/ { n += $2 } END { print n + 0 }' "${work}"/fuzz-*.log)
# libFuzzer also keeps the slowest input so far once one takes -report_slow_units
# (10 s): a note for the profile, not a failure; the time limit decides that.
findings=$(find "${work}/findings" -type f ! -name 'slow-unit-*' | sort)
echo "executions: ${executions}"
for f in $(find "${work}/findings" -type f -name 'slow-unit-*' | sort); do echo "slow input (not a failure): ${f}"; done
if [[ -n "${findings}" || ${status} -ne 0 ]]; then
  echo "FINDINGS (fuzzer exit status ${status}); logs: ${work}/fuzz-*.log"
  for f in ${findings}; do echo "  ${f}"; done
  exit 1
fi
echo "findings: none"
if [[ "${FUZZ_KEEP:-0}" == 1 || -n "$(ls -A "${work}/findings")" ]]; then
  echo "scratch kept: ${work}"
else
  rm -rf "${work}"
fi
