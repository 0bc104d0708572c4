#!/usr/bin/env bash
# Makes docs/setup-dialog.png, the picture of the dialog in the README: Orvik
# Setup with the English introduction of the sample CD, as Wine draws it on a
# private Xvfb, cut to the dialog. Builds nothing: by default it takes the
# programs of the mingw-x86_64 preset.
#
#   scripts/make-screenshot.sh [--setup SETUP_EXE] [--ui-driver UI_DRIVER_EXE]
#                              [--out PNG]
set -euo pipefail
repo="$(cd "$(dirname "$0")/.." && pwd)"
build="$repo/build/mingw-x86_64"
setup="$build/platform/win32/setup.exe"
driver="$build/tests/e2e/ui_driver/ui_driver.exe"
out="$repo/docs/setup-dialog.png"
while [ $# -gt 0 ]; do
  case "$1" in
    --setup) setup=$2; shift 2 ;;
    --ui-driver) driver=$2; shift 2 ;;
    --out) out=$2; shift 2 ;;
    *) echo "usage: $0 [--setup SETUP_EXE] [--ui-driver UI_DRIVER_EXE] [--out PNG]" >&2; exit 2 ;;
  esac
done
exec python3 -B "$repo/scripts/make_screenshot.py" \
  --setup "$setup" --ui-driver "$driver" --out "$out"
