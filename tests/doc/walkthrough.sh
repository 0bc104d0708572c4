#!/usr/bin/env bash
# Follows docs/cd-authoring.md as an author would: runs its sh blocks, in
# order, in one shell, in an empty folder, with ORVIK naming this tree.
# Needs the native and mingw-x86_64 builds (test.sh makes them), xorriso,
# osslsigncode and SoftHSM (scripts/install-deps.sh).
set -euo pipefail
tree="$(cd "$(dirname "$0")/../.." && pwd)"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

script="$work/walkthrough.sh"
awk '/^```sh$/ { inside = 1; next } /^```/ { inside = 0 } inside' \
  "$tree/docs/cd-authoring.md" >"$script"
[ -s "$script" ] || { echo "walkthrough: no sh blocks in docs/cd-authoring.md" >&2; exit 1; }

cd "$work"
ORVIK="$tree" bash -euo pipefail "$script" >"$work/output.log" 2>&1 || {
  cat "$work/output.log" >&2
  echo "walkthrough: a command of docs/cd-authoring.md failed (output above)" >&2
  exit 1
}
grep -c "^Succeeded" "$work/output.log" | grep -qx 2 ||
  { cat "$work/output.log" >&2; echo "walkthrough: the signatures were not verified" >&2; exit 1; }
echo "walkthrough: docs/cd-authoring.md from an empty folder to a signed, verified image"
