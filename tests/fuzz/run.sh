#!/usr/bin/env bash
# Builds the fuzz targets (clang, libFuzzer, ASan + UBSan) and runs each for
# a bounded time, starting from seeds made from the sample CD and from the
# corpus of earlier runs. Fails when a target finds a fault; the input that
# shows it is left in the artifacts folder.
#
#   tests/fuzz/run.sh [SECONDS_PER_TARGET]     (default 30)
#
#   ORVIK_FUZZ_BUILD   build folder (default /tmp/orvik-fuzz); the corpus
#                      grows in <build>/corpus/<target> from run to run
#   ORVIK_FUZZ_JOBS    targets run side by side (default 1)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
seconds=${1:-30}
build=${ORVIK_FUZZ_BUILD:-/tmp/orvik-fuzz}
jobs=${ORVIK_FUZZ_JOBS:-1}
targets=(message_file copy_engine iso_image)

CXX=${CXX_FUZZ:-clang++} cmake -S "$here" -B "$build" >/dev/null
cmake --build "$build" -j"$(nproc)" >/dev/null

rm -rf "$build/seeds"
python3 "$here/make_seeds.py" "$build/seeds"
mkdir -p "$build/artifacts"

# The copy engine's drives live in a temporary folder: in memory if we can.
if [ -z "${TMPDIR:-}" ] && [ -w /dev/shm ]; then export TMPDIR=/dev/shm; fi
# A small quarantine and short allocation stacks: several times the
# executions per second, with every check still in place.
export ASAN_OPTIONS=${ASAN_OPTIONS:-quarantine_size_mb=16:malloc_context_size=8}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1}

# An image's records may claim gigabytes: the ISO reader must never
# allocate by such a claim.
extra_options() {
  case "$1" in
    iso_image) echo "-malloc_limit_mb=64" ;;
  esac
}

run_target() {
  local target=$1 log="$build/$1.log"
  mkdir -p "$build/corpus/$target"
  # shellcheck disable=SC2046
  if "$build/${target}_fuzzer" -max_total_time="$seconds" -print_final_stats=1 $(extra_options "$target") \
       -dict="$here/$target.dict" -artifact_prefix="$build/artifacts/$target-" \
       "$build/corpus/$target" "$build/seeds/$target" >"$log" 2>&1; then
    local runs coverage
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    coverage=$(grep -E '^#[0-9]+[[:space:]]+DONE' "$log" |
               sed -E 's/.*cov: ([0-9]+) ft: ([0-9]+) corp: ([0-9]+).*/\1 edges, \2 features, corpus of \3 inputs/')
    echo "fuzz $target: ${seconds} s, $runs executions, $coverage, no faults"
  else
    echo "fuzz $target: FAULT FOUND; the log: $log" >&2
    grep -E 'ERROR|invariant|SUMMARY|Test unit written' "$log" >&2 || tail -20 "$log" >&2
    return 1
  fi
}

status=0
if [ "$jobs" -gt 1 ]; then
  pids=()
  for target in "${targets[@]}"; do run_target "$target" & pids+=($!); done
  for pid in "${pids[@]}"; do wait "$pid" || status=1; done
else
  for target in "${targets[@]}"; do run_target "$target" || status=1; done
fi
exit $status
