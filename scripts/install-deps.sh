#!/usr/bin/env bash
# Installs the Debian packages that building and testing Orvik Setup need,
# only those that are missing. Runs as root (or through sudo when present).
set -euo pipefail

packages=(
  cmake make g++ libgtest-dev python3
  g++-mingw-w64-x86-64 g++-mingw-w64-i686 binutils-mingw-w64-x86-64
  wine wine64 xvfb xauth x11-utils imagemagick xorriso fonts-wine
  osslsigncode openssl git
  softhsm2 libengine-pkcs11-openssl opensc
  python3-jsonschema python3-yaml nodejs
  clang libclang-rt-14-dev
  libiso9660-dev libcdio-dev pkg-config
)

# The SARIF SDK's multitool, which validates orvik-cdcheck's SARIF logs with
# the GitHub rules, comes from npm into build/tools.
install_sarif_multitool() {
  local repo tools multitool
  repo="$(cd "$(dirname "$0")/.." && pwd)"
  tools="$repo/build/tools"
  multitool="$tools/node_modules/@microsoft/sarif-multitool-linux/Sarif.Multitool"
  [ -x "$multitool" ] && return 0
  # Some builds of nodejs bring npm along; Debian's own packs it apart.
  command -v npm >/dev/null ||
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq \
      --no-install-recommends npm >/dev/null
  mkdir -p "$tools"
  npm install --prefix "$tools" --no-audit --no-fund --loglevel error \
    @microsoft/sarif-multitool-linux@5.7.0 >/dev/null
  chmod u+x "$multitool"
}

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done
sudo_cmd=()
[ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
if [ ${#missing[@]} -eq 0 ]; then
  install_sarif_multitool
  exit 0
fi

echo "Installing: ${missing[*]}"
"${sudo_cmd[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq \
  --no-install-recommends "${missing[@]}" >/dev/null
install_sarif_multitool
