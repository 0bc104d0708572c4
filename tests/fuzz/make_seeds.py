#!/usr/bin/env python3
"""Writes the fuzzers' seed corpora from the sample CD (examples/cd).

    make_seeds.py OUT_FOLDER     -> OUT_FOLDER/message_file, OUT_FOLDER/copy_engine,
                                    OUT_FOLDER/iso_image

The input formats are described at the top of each *_fuzzer.cpp. Besides
the CD's own files, the seeds hold the damaged and hostile variants that a
CD author or a broken drive could produce, so the fuzzers start from them.
"""

import hashlib
import sys
from pathlib import Path

import iso_image

CD = Path(__file__).resolve().parent.parent.parent / "examples" / "cd"
SEPARATOR = b"\n%%%%\n"


def write(folder, data):
    folder.mkdir(parents=True, exist_ok=True)
    (folder / hashlib.sha1(data).hexdigest()).write_bytes(data)


def message_file_seeds(out):
    requests = [(0, 3), (4, 2), (6, 2), (9, 3), (13, 1), (20, 20)]
    for path in sorted((CD / "install").glob("?install.dat")):
        text = path.read_bytes()
        for skip, count in requests:
            # current folder, the drive's \install\, legacy; whole or tiny reads
            write(out, bytes([skip, count, 0, 0, 1]) + text)
            write(out, bytes([skip, count, 7, 0, 2]) + text)
            write(out, bytes([skip, count, 1, 0, 3 + 4]) + text)
        write(out, bytes([0, 3, 50, 2, 2]) + text)  # error on the second read
    lines = (CD / "install" / "einstall.dat").read_bytes().split(b"\r\n")
    variants = [
        b"two \\n markers \\n in one line\r\n" * 3,
        b"\\n" * 150 + b"\r\n",
        b"x" * 250 + b"\r\n" + b"\r\n".join(lines),
        b"line\x00with nul\r\n" * 14,
        b"\n" * 30,
        b"ends in a backslash \\",
        b"",
    ]
    for text in variants:
        write(out, bytes([0, 3, 0, 0, 1]) + text)
        write(out, bytes([9, 3, 13, 0, 2]) + text)


def copy_engine_seeds(out):
    startup = (CD / "prog" / "startup.mar").read_bytes()
    factory = (CD / "prog" / "factory.mar").read_bytes()
    languages = "edfi"
    for index, letter in enumerate(languages):
        copy_list = (CD / "install" / f"{letter}opylist.dat").read_bytes()
        for options in (0x00, 0x80, 0x24, 0x68):
            write(out, bytes([index, options]) + copy_list + SEPARATOR + startup
                  + SEPARATOR + factory)
    english = (CD / "install" / "eopylist.dat").read_bytes()
    entries = english.split(b"\r\n")[1:-1]

    def listing(names, header=None):
        header = str(len(names)).encode() + b" 0" if header is None else header
        return b"\r\n".join([header, *names]) + b"\r\n"

    head = entries[:4]
    hostile = [
        listing(head + [b"\\..\\..\\escape.txt"]),
        listing(head + [b"\\data\\..", b"\\data\\."]),
        listing(head + [b"\\prog/..\\..//x", b"\\a/b"]),
        listing(head + [b"C:\\keep.txt", b":\\x"]),
        listing(head + [b"\\prog\\" + b"n" * 5000]),
        listing(head + [b"\\prog\\nul", b"\\prog\\COM1.txt"]),
        listing(head + [b"\\data\\folder.dat"]),
        listing(head + [b"$\\prog\\factory.mar", b"\\prog\\startup.mar"]),
        listing(entries, header=b"40 0"),
        listing(entries, header=b"twelve"),
        listing(entries, header=b"-3 0"),
        listing(head + [b"", b"\\prog\\orvik.dll"]),
        listing(head + [b"   \t "]),
        listing(head + [b"\\prog\\orvik.dll\x00tail"]),
        b"",
        b"99999999999999999999999 0\r\n",
    ]
    # Names of files that exist, reached by ways out of their folder: a
    # destination built from them must still stay in the folder.
    existing = [b"\\prog/../../setup.txt", b"\\data/../setup.txt",
                b"\\prog\\..\\..\\setup.txt", b"\\prog\\orvik.dll/",
                b"\\prog/orvik.dll", b"\\setup.txt:stream", b"D:\\setup.txt",
                b"E:\\orvik8.exe", b"C:\\keep.txt", b"\\lang\\..\\prog\\..\\..\\setup.txt"]
    for name in existing:
        hostile.append(listing(head + [name]))
        hostile.append(listing(head + [b"$" + name]))
    for copy_list in hostile:
        for options in (0x80, 0x20, 0x60, 0x48):
            write(out, bytes([0, options]) + copy_list + SEPARATOR + startup
                  + SEPARATOR + factory)
    settings = [
        (b"51 language ", b"51 language"),
        (b"51 language e\r\n" * 3, b""),
        (b"no line end", b"\x0051 language e"),
        (b"x" * 40000 + b"51 language e\r\n", b"51 language e\r\n"),
    ]
    for start, fact in settings:
        write(out, bytes([1, 0x10]) + english + SEPARATOR + start + SEPARATOR + fact)


def iso_image_seeds(out):
    # The sample CD with its larger files cut short, so that the seeds stay
    # small and the fuzzer's changes land in the records.
    tree = {}
    for path in sorted(CD.rglob("*")):
        if path.is_file():
            data = path.read_bytes()
            name = str(path.relative_to(CD))
            tree[name] = data if name.startswith("install/") else data[:300]
    four_gib = 0xFFFFFFFF
    deep = dict(tree, **{"a/a/x": b"x"})
    variants = [
        (tree, {}),
        (deep, {"a/a": {"ancestor": "a"}}),
        (tree, {"prog": {"ancestor": ""}}),
        (tree, {"install/eopylist.dat": {"size": four_gib}}),
        (tree, {"install/eopylist.dat": {"size": four_gib, "extent": 0}}),
        (tree, {"prog/startup.mar": {"extent": 1 << 30}}),
        (tree, {"install": {"size": four_gib - 2047}}),
    ]
    for files, lies in variants:
        for joliet in (True, False):
            image = iso_image.build(files, joliet=joliet, lies=lies)
            write(out, image[iso_image.SYSTEM_AREA * iso_image.BLOCK:])
        # UDF names where there are no Joliet names, the same lies in them.
        image = iso_image.build(files, joliet=False, udf=True, udf_lies=lies)
        write(out, image[iso_image.SYSTEM_AREA * iso_image.BLOCK:])


def main():
    if len(sys.argv) != 2:
        sys.exit(f"usage: {sys.argv[0]} OUT_FOLDER")
    out = Path(sys.argv[1])
    message_file_seeds(out / "message_file")
    copy_engine_seeds(out / "copy_engine")
    iso_image_seeds(out / "iso_image")


if __name__ == "__main__":
    main()
