#!/usr/bin/env bash
# Installs the Debian packages that building and testing Orvik Setup need,
# only those that are missing. Runs as root (or through sudo when present).
set -euo pipefail

packages=(
  cmake make g++ libgtest-dev python3
  g++-mingw-w64-x86-64 g++-mingw-w64-i686 binutils-mingw-w64-x86-64
  wine wine64 xvfb xauth x11-utils imagemagick xorriso fonts-wine
  osslsigncode openssl git
  clang libclang-rt-14-dev
  libiso9660-dev libcdio-dev pkg-config
)

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo_cmd=()
[ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
echo "Installing: ${missing[*]}"
"${sudo_cmd[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq \
  --no-install-recommends "${missing[@]}" >/dev/null
