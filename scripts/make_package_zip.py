"""Makes the download package of a CD: a zip of exactly the files of its
ISO image, for deployment tools that fetch one file and unpack it
(winget's zip installer type with orvik-install.exe as the nested
installer, an Intune package folder).

    scripts/make_package_zip.py --iso orvik8.iso --out orvik8-package.zip

The image's own files are taken, read back from it, so the package holds
what orvik-cdcheck passed and what was signed, and nothing of the folder
it was made from. Reproducible as the image is: entries in sorted order,
each with the image's date (which is SOURCE_DATE_EPOCH), no extra fields
(no Unix times, owners or modes), so the same image gives the same bytes.
"""

import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import time
import zipfile
from pathlib import Path

ME = "make_package_zip"
FILE_ATTRIBUTE_DIRECTORY = 0x10
# Zip's DOS dates start in 1980.
EARLIEST = (1980, 1, 1, 0, 0, 0)


def fail(text):
    sys.exit(f"{ME}: {text}")


def extract(iso, into):
    done = subprocess.run(["xorriso", "-no_rc", "-osirrox", "on", "-indev", str(iso),
                           "-extract", "/", str(into)],
                          stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    if done.returncode != 0:
        fail(f"cannot read {iso}: {done.stderr.decode(errors='replace').strip()}")


def dos_date(path):
    # In UTC: a zip date has no zone, and the build machine's must not show.
    return max(EARLIEST, time.gmtime(path.stat().st_mtime)[:6])


def entry(name, path, is_folder):
    info = zipfile.ZipInfo(name, dos_date(path))
    info.create_system = 0  # MS-DOS attributes, not this machine's Unix modes
    info.external_attr = FILE_ATTRIBUTE_DIRECTORY if is_folder else 0
    info.compress_type = zipfile.ZIP_STORED if is_folder else zipfile.ZIP_DEFLATED
    return info


def add_folder(package, root, folder):
    """The folder's entries, folders before their contents, names sorted."""
    for child in sorted(folder.iterdir(), key=lambda p: p.name):
        name = child.relative_to(root).as_posix()
        if child.is_dir():
            package.writestr(entry(name + "/", child, True), b"")
            add_folder(package, root, child)
        else:
            package.writestr(entry(name, child, False), child.read_bytes(),
                             compresslevel=9)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--iso", required=True, type=Path, help="the CD image")
    parser.add_argument("--out", required=True, type=Path, help="the zip to write")
    args = parser.parse_args()
    if not args.iso.is_file():
        fail(f"{args.iso} is no file: build the target cd-image first")
    if shutil.which("xorriso") is None:
        fail("xorriso is missing")
    stage = Path(tempfile.mkdtemp(prefix="orvik-package-"))
    partial = args.out.with_name(args.out.name + ".partial")
    try:
        tree = stage / "cd"
        extract(args.iso, tree)
        if not (tree / "orvik-install.exe").is_file():
            fail(f"{args.iso} holds no orvik-install.exe at its root")
        args.out.parent.mkdir(parents=True, exist_ok=True)
        with zipfile.ZipFile(partial, "w") as package:
            add_folder(package, tree, tree)
        os.replace(partial, args.out)
    finally:
        # The image's folders are read-only once extracted.
        for folder, _, _ in os.walk(stage):
            os.chmod(folder, 0o700)
        shutil.rmtree(stage)
        partial.unlink(missing_ok=True)
    print(f"package: {args.out} ({args.out.stat().st_size} bytes)")


if __name__ == "__main__":
    main()
