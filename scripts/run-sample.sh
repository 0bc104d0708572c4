#!/usr/bin/env bash
# Runs Orvik Setup on the sample CD in a fresh private Wine prefix. Builds
# nothing: pass the built programs.
#
#   scripts/run-sample.sh --setup SETUP_EXE --ui-driver UI_DRIVER_EXE
#                         [--cd CD_FOLDER] [--out SCREENSHOT_FOLDER] [--headless]
#
# With a usable $DISPLAY the real window opens for you to click through;
# without one (or with --headless) a walk-through on a private Xvfb shows
# the four languages and installs, saving screenshots (by default into
# build/walkthrough). Then it prints the installed files, the debug log
# and the shortcuts on the desktop.
set -euo pipefail
repo="$(cd "$(dirname "$0")/.." && pwd)"
has_out=0
for arg in "$@"; do [ "$arg" = "--out" ] && has_out=1; done
extra=()
[ "$has_out" -eq 0 ] && extra=(--out "$repo/build/walkthrough")
exec python3 -B "$repo/scripts/run_sample.py" "$@" "${extra[@]}"
