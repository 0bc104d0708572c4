#!/usr/bin/env bash
# Builds everything and runs every test: the native unit tests (plain and
# under AddressSanitizer + UndefinedBehaviorSanitizer), setup.exe for
# x86_64 and i686, the fuzz targets for a bounded time, and the end-to-end
# tests of the real setup.exe under Wine on a headless X server.
set -euo pipefail
cd "$(dirname "$0")"

bash scripts/install-deps.sh

jobs=$(nproc)
build() {  # preset [extra cmake arguments...]
  local preset=$1
  shift
  cmake --preset "$preset" "$@" >/dev/null
  cmake --build --preset "$preset" -j"$jobs"
}

echo "== setup.exe (Windows x86_64, i686)"
build mingw-x86_64
cmake --build --preset mingw-x86_64 --target cd-image
build mingw-i686

echo "== native build with the end-to-end tests of setup.exe"
build native -DORVIK_E2E_SETUP_EXE="$PWD/build/mingw-x86_64/platform/win32/setup.exe" \
             -DORVIK_E2E_UI_DRIVER="$PWD/build/mingw-x86_64/tests/e2e/ui_driver/ui_driver.exe" \
             -DORVIK_E2E_CD_IMAGE="$PWD/build/mingw-x86_64/orvik8.iso"

echo "== native build under ASan + UBSan"
build native-asan

echo "== unit tests under ASan + UBSan"
ctest --preset native-asan -j"$jobs"

echo "== fuzz targets, 30 s each"
ORVIK_FUZZ_BUILD="$PWD/build/fuzz" bash tests/fuzz/run.sh 30

echo "== all tests"
ctest --preset native
