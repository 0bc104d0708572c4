#!/usr/bin/env bash
# setup.exe under Wine against copiers of its own kind (bench/win_copy.cpp),
# side by side in one Wine prefix on one generated CD of about 2,000 files
# and 300 MB: a default installation from OK to the message box, a
# CopyFileA copier, and a copier with the same guarantee (CREATE_NEW
# temporary, 32 KiB ReadFile/WriteFile, FlushFileBuffers, MoveFileExA), with
# and without its flush. Prints the medians and their ratios.
#
#   bench/wine_run.sh                      medians of 3 runs
#   bench/wine_run.sh --runs 5 --files 500 --megabytes 100
#   bench/wine_run.sh --profile            Win32, NT and host calls per file
#
# Builds setup.exe, ui_driver.exe and win_copy.exe as the mingw-x86_64
# preset does, in BUILD (build/bench-mingw by default); SETUP_EXE runs
# another setup.exe instead. The prefix and the CD are made under $TMPDIR
# (or /tmp), about 1 GB free, and removed afterwards. Needs Wine and Xvfb,
# and strace for --profile. Not part of CI: times only, no limits.
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${BUILD:-$ROOT/build/bench-mingw}

cmake -S "$ROOT" -B "$BUILD" --toolchain "$ROOT/cmake/mingw-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE=MinSizeRel -DORVIK_BUILD_BENCH=ON >/dev/null
cmake --build "$BUILD" --target setup ui_driver win_copy -j2 >/dev/null

ORVIK_E2E_SETUP_EXE=${SETUP_EXE:-$BUILD/platform/win32/setup.exe} \
ORVIK_E2E_UI_DRIVER=$BUILD/tests/e2e/ui_driver/ui_driver.exe \
ORVIK_BENCH_WIN_COPY=$BUILD/bench/win_copy.exe \
  exec python3 "$ROOT/bench/wine_bench.py" "$@"
