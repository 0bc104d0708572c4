#!/usr/bin/env bash
# Builds everything and runs every test: the native unit tests (plain and
# under AddressSanitizer + UndefinedBehaviorSanitizer), setup.exe for
# x86_64 and i686, the CD image and its download zip (built twice, to show
# that they are reproducible; the image also signed with a throwaway
# certificate), the author's guide docs/cd-authoring.md followed command by
# command (its image signed by a key on a SoftHSM token), the fuzz targets
# for a bounded time, the copy benchmark's programs (with one short run, so
# that they cannot rot), and the end-to-end tests of the real setup.exe
# under Wine on a headless X server.
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
build mingw-x86_64 -DORVIK_BUILD_BENCH=ON  # with the Wine benchmark's copiers
build mingw-i686

echo "== native build with the end-to-end tests of setup.exe and the copy benchmark"
build native -DORVIK_BUILD_BENCH=ON -DORVIK_E2E_SETUP_EXE="$PWD/build/mingw-x86_64/platform/win32/setup.exe" \
             -DORVIK_E2E_UI_DRIVER="$PWD/build/mingw-x86_64/tests/e2e/ui_driver/ui_driver.exe" \
             -DORVIK_E2E_CD_IMAGE="$PWD/build/mingw-x86_64/orvik8.iso"

echo "== copy benchmark, one short run (times only, no limits)"
SETS=small RUNS=1 bash bench/run.sh

echo "== CD image, checked by the native orvik-cdcheck, and its download package"
cmake --build --preset mingw-x86_64 --target package-zip

echo "== reproducible: a second build folder gives the same programs, image and package"
second=build/reproducible-check
rm -rf "$second"
cmake -S . -B "$second" --toolchain cmake/mingw-x86_64.cmake -DCMAKE_BUILD_TYPE=MinSizeRel \
      -DORVIK_CDCHECK="$PWD/build/native/tools/cdcheck/orvik-cdcheck" >/dev/null
cmake --build "$second" -j"$jobs" --target package-zip >/dev/null
for file in platform/win32/setup.exe platform/win32/orvik-install.exe orvik8.iso orvik8-package.zip; do
  sha256sum "build/mingw-x86_64/$file" "$second/$file"
  cmp "build/mingw-x86_64/$file" "$second/$file"
done

echo "== signed image: a throwaway code-signing certificate"
sign=$(mktemp -d)
trap 'rm -rf "$sign"' EXIT
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Orvik Setup test signing" \
        -addext keyUsage=digitalSignature -addext extendedKeyUsage=codeSigning \
        -keyout "$sign/key.pem" -out "$sign/cert.pem" 2>/dev/null
ORVIK_SIGN_CERT="$sign/cert.pem" ORVIK_SIGN_KEY="$sign/key.pem" \
  bash scripts/make-cd-image.sh --out "$sign/signed.iso" >/dev/null
xorriso -osirrox on -indev "$sign/signed.iso" -extract /setup.exe "$sign/setup.exe" \
        -extract /orvik-install.exe "$sign/orvik-install.exe" 2>/dev/null
for program in setup.exe orvik-install.exe; do
  osslsigncode verify -CAfile "$sign/cert.pem" -in "$sign/$program" >/dev/null
  echo "$program: signature verified"
done

echo "== the author's guide, from an empty folder to an image signed by a SoftHSM token"
bash tests/doc/walkthrough.sh

echo "== native build under ASan + UBSan"
build native-asan

echo "== unit tests under ASan + UBSan"
ctest --preset native-asan -j"$jobs"

echo "== fuzz targets, 30 s each"
ORVIK_FUZZ_BUILD="$PWD/build/fuzz" bash tests/fuzz/run.sh 30

echo "== all tests"
ctest --preset native
