#!/usr/bin/env bash
# Starts Orvik Setup on the sample CD under Wine: in a real window when a
# display is there, otherwise as a walk-through on a headless X server that
# saves screenshots. Installs what is missing and builds setup.exe first.
set -euo pipefail
cd "$(dirname "$0")"

bash scripts/install-deps.sh
cmake --preset mingw-x86_64 >/dev/null
cmake --build --preset mingw-x86_64 -j"$(nproc)" >/dev/null

exec bash scripts/run-sample.sh \
  --setup "$PWD/build/mingw-x86_64/platform/win32/setup.exe" \
  --ui-driver "$PWD/build/mingw-x86_64/tests/e2e/ui_driver/ui_driver.exe" \
  --cd "$PWD/examples/cd" "$@"
