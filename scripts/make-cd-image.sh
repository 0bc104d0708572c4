#!/usr/bin/env bash
# Makes the ISO 9660 image (Joliet names) of a CD for the press: the CD
# folder with setup.exe, orvik-install.exe and autorun.inf at its root.
#
#   scripts/make-cd-image.sh --cd FOLDER --label LABEL --publisher NAME
#                            [--title TEXT] [--out ISO] [programs]
#   scripts/make-cd-image.sh [--standin EXE] [--out ISO] [programs]   # the sample CD
#
#   programs: [--build MINGW_BUILD_DIR] [--setup EXE] [--installer EXE]
#             [--cdcheck NATIVE_ORVIK_CDCHECK]
#
# The folder is checked by orvik-cdcheck first; a folder with errors gets no
# image. It is never changed: the image is staged in a temporary folder.
# The finished image is checked too (its root must hold the programs).
# Without --cd the sample CD is imaged, with its label, publisher and title,
# and the stand-in program in place of its prog/orvik8.exe.
#
# Reproducible: every file and volume date is SOURCE_DATE_EPOCH (by default
# the date of the last commit of this source tree), so the same inputs give
# the same image. With ORVIK_SIGN_CERT and ORVIK_SIGN_KEY set, setup.exe and
# orvik-install.exe are signed (Authenticode) in the image, by a key file or
# by a key on a token or HSM (ORVIK_SIGN_KEY=pkcs11:..., with
# ORVIK_SIGN_PKCS11_MODULE); see docs/cd-authoring.md.
set -euo pipefail
repo="$(cd "$(dirname "$0")/.." && pwd)"
me=make-cd-image

usage() {
  echo "usage:" >&2
  sed -n '/^#   scripts/,/^# The folder/p' "$0" | sed '$d; s/^# \{0,1\}//' >&2
  exit 2
}
fail() { echo "$me: $*" >&2; exit 1; }

cd_folder="" label="" publisher="" title="" out="" standin=""
build="$repo/build/mingw-x86_64" setup="" installer=""
cdcheck="$repo/build/native/tools/cdcheck/orvik-cdcheck"
while [ $# -gt 0 ]; do
  [ $# -ge 2 ] || usage
  case "$1" in
    --cd) cd_folder=$2 ;;
    --label) label=$2 ;;
    --publisher) publisher=$2 ;;
    --title) title=$2 ;;
    --out) out=$2 ;;
    --standin) standin=$2 ;;
    --build) build=$2 ;;
    --setup) setup=$2 ;;
    --installer) installer=$2 ;;
    --cdcheck) cdcheck=$2 ;;
    *) usage ;;
  esac
  shift 2
done
setup=${setup:-$build/platform/win32/setup.exe}
installer=${installer:-$build/platform/win32/orvik-install.exe}

if [ -z "$cd_folder" ]; then
  cd_folder="$repo/examples/cd"
  label=${label:-ORVIK8} publisher=${publisher:-ORVIK} title=${title:-Orvik 8.0}
  standin=${standin:-$build/cdimage/orvik_standin.exe}
  out=${out:-$build/orvik8.iso}
else
  # An author's product program is the author's: nothing stands in for it.
  [ -z "$standin" ] || fail "--standin is only for the sample CD, not for a folder given by --cd"
  [ -n "$label" ] || fail "--label is missing: the volume label of the CD, e.g. --label ORVIK8"
  [ -n "$publisher" ] || fail "--publisher is missing: e.g. --publisher \"ORVIK\""
  title=${title:-$label}
  out=${out:-$(echo "$label" | tr 'A-Z' 'a-z').iso}
fi

# Byte by byte, whatever the locale: under UTF-8 "É" is one printable
# character but two bytes that xorriso turns into "_" and autorun.inf
# would carry as they are.
only_bytes() {  # text allowed_bytes(tr set) min max
  local length others
  length=$(printf '%s' "$1" | LC_ALL=C wc -c)
  others=$(printf '%s' "$1" | LC_ALL=C tr -d "$2" | LC_ALL=C wc -c)
  [ "$others" -eq 0 ] && [ "$length" -ge "$3" ] && [ "$length" -le "$4" ]
}
# Windows shows the Joliet label, at most 16 characters; upper-case letters,
# digits and _ read the same in the ISO 9660 label.
only_bytes "$label" 'A-Z0-9_' 1 16 ||
  fail "volume label '$label': use 1 to 16 of A-Z, 0-9 and _"
only_bytes "$publisher" ' -~' 1 128 ||
  fail "publisher '$publisher': use 1 to 128 printable ASCII characters"
only_bytes "$title" ' -~' 1 32 ||
  fail "title '$title': use 1 to 32 printable ASCII characters"
[ -d "$cd_folder" ] || fail "$cd_folder is not a folder"
for program in "$setup" "$installer" ${standin:+"$standin"}; do
  [ -f "$program" ] || fail "$program does not exist: build the mingw-x86_64 preset first"
done
[ -x "$cdcheck" ] || cdcheck=$(command -v orvik-cdcheck) ||
  fail "no orvik-cdcheck: build the native preset's orvik-cdcheck or pass --cdcheck"

epoch=${SOURCE_DATE_EPOCH:-}
if ! [[ "$epoch" =~ ^[0-9]+$ ]]; then
  # As the build does: this tree's last commit, else its top CMakeLists.txt.
  if [ "$(git -C "$repo" rev-parse --show-toplevel 2>/dev/null)" = "$repo" ]; then
    epoch=$(git -C "$repo" log -1 --format=%ct)
  else
    epoch=$(stat -c %Y "$repo/CMakeLists.txt")
  fi
fi

echo "$me: checking $cd_folder"
if ! "$cdcheck" --quiet "$cd_folder"; then
  fail "$cd_folder has errors (listed above): no image made"
fi

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
root="$stage/cd"
mkdir "$root"
# Links are followed: Windows reads no symbolic links from a CD, and the
# image must hold the files that orvik-cdcheck read.
cp -RL "$cd_folder/." "$root/"
chmod -R u+w "$root"
for name in setup.exe orvik-install.exe autorun.inf; do
  [ ! -e "$root/$name" ] || echo "$me: $name in $cd_folder is replaced by the built one" >&2
done
cp "$setup" "$root/setup.exe"
cp "$installer" "$root/orvik-install.exe"
printf '[autorun]\r\nopen=setup.exe\r\nicon=setup.exe\r\nlabel=%s\r\n' "$title" \
  >"$root/autorun.inf"
[ -z "$standin" ] || cp "$standin" "$root/prog/orvik8.exe"

# The key is a file, or a key on a token or HSM named by its PKCS#11 URI
# ("pkcs11:token=...;object=..."), reached through the token's module.
key_args() {
  if [[ "$ORVIK_SIGN_KEY" == pkcs11:* ]]; then
    [ -z "${ORVIK_SIGN_PKCS11_ENGINE:-}" ] || printf '%s\n' -pkcs11engine "$ORVIK_SIGN_PKCS11_ENGINE"
    printf '%s\n' -pkcs11module "$ORVIK_SIGN_PKCS11_MODULE" -key "$ORVIK_SIGN_KEY"
  else
    printf '%s\n' -key "$ORVIK_SIGN_KEY"
  fi
}
sign() {  # program description
  local args
  mapfile -t args < <(key_args)
  args=(sign -certs "$ORVIK_SIGN_CERT" "${args[@]}" -h sha256 -n "$2" -in "$1" -out "$1.signed")
  # The password or PIN goes through standard input, never onto a command line.
  [ -z "${ORVIK_SIGN_PASS:-}" ] || args+=(-readpass -)
  [ -z "${ORVIK_SIGN_TIMESTAMP_URL:-}" ] || args+=(-ts "$ORVIK_SIGN_TIMESTAMP_URL")
  printf '%s' "${ORVIK_SIGN_PASS:-}" | osslsigncode "${args[@]}" >/dev/null ||
    fail "signing $(basename "$1") failed"
  mv "$1.signed" "$1"
}
check_signing_setup() {
  [ -f "${ORVIK_SIGN_CERT:-}" ] && [ -n "${ORVIK_SIGN_KEY:-}" ] ||
    fail "signing needs ORVIK_SIGN_CERT (a file) and ORVIK_SIGN_KEY (a file or a pkcs11: URI)"
  command -v osslsigncode >/dev/null || fail "signing needs osslsigncode"
  if [[ "$ORVIK_SIGN_KEY" == pkcs11:* ]]; then
    [ -f "${ORVIK_SIGN_PKCS11_MODULE:-}" ] ||
      fail "a pkcs11: key needs ORVIK_SIGN_PKCS11_MODULE, the token's PKCS#11 module file"
    [[ "$ORVIK_SIGN_KEY" != *pin-value=* ]] ||
      fail "the PIN does not belong in ORVIK_SIGN_KEY, where every process sees it: set ORVIK_SIGN_PASS"
  else
    [ -f "$ORVIK_SIGN_KEY" ] || fail "ORVIK_SIGN_KEY $ORVIK_SIGN_KEY is no file"
  fi
}
if [ -n "${ORVIK_SIGN_CERT:-}" ] || [ -n "${ORVIK_SIGN_KEY:-}" ]; then
  check_signing_setup
  sign "$root/setup.exe" "$title Setup"
  sign "$root/orvik-install.exe" "$title unattended installation"
  echo "$me: setup.exe and orvik-install.exe signed with $ORVIK_SIGN_CERT"
fi

# Fixed dates for every file and for the volume, owner root and read-only
# modes (-r), so that nothing of this machine or this hour is in the image.
uuid=$(date -u -d "@$epoch" +%Y%m%d%H%M%S00)
mkdir -p "$(dirname "$out")"
rm -f "$out" "$out.partial"
xorriso -no_rc -as mkisofs -quiet -iso-level 2 -J -joliet-long -r \
  -V "$label" -publisher "$publisher" \
  --modification-date="$uuid" --set_all_file_dates "=$epoch" \
  -o "$out.partial" "$root" -- \
  -volume_date c "=$epoch" -volume_date m "=$epoch" \
  -volume_date x default -volume_date f default
# The image as pressed: its root files and every name read back from it.
echo "$me: checking the image"
if ! "$cdcheck" --quiet "$out.partial"; then
  rm -f "$out.partial"
  fail "the image has errors (listed above): no image made"
fi
mv "$out.partial" "$out"
echo "CD image: $out ($(wc -c <"$out") bytes)"
