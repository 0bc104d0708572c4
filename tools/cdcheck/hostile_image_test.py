#!/usr/bin/env python3
"""Runs orvik-cdcheck on hostile ISO images of the sample CD under a memory
and time limit: records that claim 4 GiB, extents past the volume, folders
that contain themselves, in the ISO 9660 and Joliet records and in the UDF
entries of an image without Joliet names. Each must give a read error in
the report (exit 1), never a crash, a false "not on the CD" or a run out of
memory; the same UDF image without its lies checks clean.

usage: hostile_image_test.py ORVIK_CDCHECK SAMPLE_CD MEMORY_LIMIT_MB
       (0: no limit, for sanitizer builds, which reserve memory up front)
"""
import pathlib
import resource
import subprocess
import sys
import tempfile

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[2] / "tests" / "fuzz"))
import iso_image  # noqa: E402

FOUR_GIB = 0xFFFFFFFF
SECONDS = 20


def sample_tree(cd):
    return {str(p.relative_to(cd)): p.read_bytes() for p in sorted(cd.rglob("*")) if p.is_file()}


def deep_loop_list(tree):
    """The English list names a file ever deeper through prog/loop, which is
    prog itself."""
    lines = tree["install/eopylist.dat"].split(b"\r\n")
    lines[9] = b"\\prog" + b"\\loop" * 18 + b"\\orvik.dll"
    return dict(tree, **{"install/eopylist.dat": b"\r\n".join(lines),
                         "prog/loop/.keep": b""})


def pressed(tree):
    return dict(tree, **{name: b"MZ" for name in ("setup.exe", "orvik-install.exe", "autorun.inf")})


def udf(lies):
    """An image whose names Windows reads are UDF names, lying there alone."""
    return {"joliet": False, "udf": True, "udf_lies": lies}


# name: (tree change, image, what the report must say)
CASES = {
    "copy list of 4 GiB": (None, {"lies": {"install/eopylist.dat": {"size": FOUR_GIB}}},
                           ["install/eopylist.dat: error: cannot be read", "[copy-list/unreadable]"]),
    "copy list of 4 GiB from block 0": (
        None, {"lies": {"install/eopylist.dat": {"size": FOUR_GIB, "extent": 0}}},
        ["install/eopylist.dat: error: cannot be read"]),
    "settings file of 4 GiB": (None, {"lies": {"prog/startup.mar": {"size": FOUR_GIB, "extent": 0}}},
                               ["\\prog\\startup.mar cannot be read to its end"]),
    "file past the volume": (None, {"lies": {"prog/orvik.dll": {"extent": 1 << 30}}},
                             ["\\prog\\orvik.dll cannot be read to its end"]),
    "folder of 4 GiB": (None, {"lies": {"install": {"size": FOUR_GIB - 2047}}},
                        ["install/einstall.dat: error: cannot be read"]),
    "folder that is the root": (None, {"lies": {"prog": {"ancestor": ""}}},
                                ["\\prog\\orvik8.exe cannot be read to its end"]),
    "folder that is its own parent": (
        deep_loop_list, {"lies": {"prog/loop": {"ancestor": "prog"}}},
        ["eopylist.dat:10: error: \\prog\\loop", "cannot be read to its end"]),
    "UDF file past the partition": (None, udf({"prog/orvik.dll": {"extent": 1 << 30}}),
                                    ["\\prog\\orvik.dll cannot be read to its end"]),
    "UDF file larger than the image": (None, udf({"prog/orvik.dll": {"repeat": 200}}),
                                       ["\\prog\\orvik.dll cannot be read to its end"]),
    "UDF folder of 4 GiB": (None, udf({"install": {"size": 1 << 40}}),
                            ["install/einstall.dat: error: cannot be read"]),
    "UDF folder that is its own parent": (
        deep_loop_list, udf({"prog/loop": {"ancestor": "prog"}}),
        ["eopylist.dat:10: error: \\prog\\loop", "cannot be read to its end"]),
}


def limit(megabytes):
    def apply():
        resource.setrlimit(resource.RLIMIT_CPU, (SECONDS, SECONDS))
        if megabytes:
            resource.setrlimit(resource.RLIMIT_AS, (megabytes << 20, megabytes << 20))
    return apply


def main():
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    cdcheck, cd, megabytes = sys.argv[1], pathlib.Path(sys.argv[2]), int(sys.argv[3])
    tree = sample_tree(cd)
    failures = []
    with tempfile.TemporaryDirectory() as folder:
        def check(name, files, image_options, *options):
            image = pathlib.Path(folder) / (name.replace(" ", "-") + ".iso")
            image.write_bytes(iso_image.build(files, **image_options))
            return subprocess.run([cdcheck, "--quiet", *options, str(image)], capture_output=True,
                                  text=True, timeout=SECONDS * 2, preexec_fn=limit(megabytes))

        # Its lies, not the way the UDF image is written, make the errors.
        honest = check("honest UDF", pressed(tree), udf({}), "--werror")
        if honest.returncode != 0:
            failures.append(f"honest UDF: exit {honest.returncode}\n{honest.stdout}{honest.stderr}")
        for name, (change, image_options, expected) in CASES.items():
            run = check(name, change(tree) if change else tree, image_options)
            missing = [text for text in expected if text not in run.stdout]
            if run.returncode != 1 or missing or run.stderr:
                failures.append(f"{name}: exit {run.returncode}, missing {missing}\n"
                                f"{run.stdout}{run.stderr}")
            elif "is not on the CD" in run.stdout:
                failures.append(f"{name}: a damaged file reported as missing\n{run.stdout}")
    peak_mb = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss / 1024
    if megabytes and peak_mb > megabytes:
        failures.append(f"peak memory {peak_mb:.1f} MB over {megabytes} MB")
    if failures:
        print("hostile_image_test: " + "\n".join(failures), file=sys.stderr)
        sys.exit(1)
    print(f"hostile_image_test: {len(CASES)} images, read errors reported, "
          f"peak memory {peak_mb:.1f} MB")


if __name__ == "__main__":
    main()
