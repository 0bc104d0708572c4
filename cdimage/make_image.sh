#!/usr/bin/env bash
# Builds the CD image: the sample CD with setup.exe, orvik-install.exe and
# autorun.inf at its root and the real stand-in program in place of the
# text one; ISO 9660 with Joliet names, volume label ORVIK8.
#   make_image.sh CD_FOLDER SETUP_EXE INSTALL_EXE STANDIN_EXE AUTORUN_INF OUT_ISO
set -euo pipefail
cd_folder=$1 setup_exe=$2 install_exe=$3 standin_exe=$4 autorun=$5 out_iso=$6

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
cp -R "$cd_folder/." "$stage/"
cp "$setup_exe" "$stage/setup.exe"
cp "$install_exe" "$stage/orvik-install.exe"
cp "$autorun" "$stage/autorun.inf"
cp "$standin_exe" "$stage/prog/orvik8.exe"

rm -f "$out_iso"
xorriso -as mkisofs -quiet -iso-level 2 -J -joliet-long -r \
  -V ORVIK8 -o "$out_iso" "$stage"
echo "CD image: $out_iso ($(wc -c <"$out_iso") bytes)"
