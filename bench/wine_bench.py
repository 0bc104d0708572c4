"""setup.exe under Wine against copiers of its own kind, side by side in
one Wine prefix on one generated CD (bench/wine_run.sh builds the programs
and starts this).

  timing (default)  a default installation, from pressing OK to the message
                    box, against win_copy.exe's CopyFileA copier, its copier
                    with the same guarantee (CREATE_NEW temporary, 32 KiB
                    ReadFile/WriteFile, FlushFileBuffers, MoveFileExA) and
                    that copier without the flush; medians of --runs runs,
                    the order rotating from run to run
  --profile         the calls per installed file: each program runs on
                    --profile-files and twice as many files of one size,
                    under WINEDEBUG=+relay and under strace -c; the
                    difference of the two runs over the extra files is
                    what each file costs, start-up and dialog excluded

Environment: ORVIK_E2E_SETUP_EXE, ORVIK_E2E_UI_DRIVER (as for the
end-to-end tests) and ORVIK_BENCH_WIN_COPY (win_copy.exe). Times only: no
limits are checked.
"""

import argparse
import collections
import os
import random
import re
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE.parent / "tests" / "e2e"))
import wine_env  # noqa: E402

SAMPLE_INSTALL = HERE.parent / "examples" / "cd" / "install"
CD_LETTER = "d"
DEST = r"c:\orvik8"
LIST = r"c:\e2e\list.txt"
WIN_COPY = r"c:\e2e\win_copy.exe"
SUCCESS = "The installation of Orvik 8.0 completed successfully."
# Big enough for a flushed 300 MB copy under a busy machine.
wine_env.DRIVER_TIMEOUT_MS = 600000
RUN_TIMEOUT = 900

PEERS = {  # label: win_copy.exe mode
    "CopyFileA copier": "copyfile",
    "same guarantee (temporary, flush, move)": "same-guarantee",
    "same without the flush": "no-flush",
}
PEER_LABELS = ("CopyFileA copier", "same guarantee (temporary, flush, move)")
SETUP = "setup.exe, OK to message box"


# --- the CD ----------------------------------------------------------------

def file_sizes(count, megabytes):
    """A mix like an installation's: many small files and a few large ones
    that hold most of the bytes, about `megabytes` in all."""
    rng = random.Random(8)
    large = max(1, count // 20)
    small = [rng.randint(1 << 10, 64 << 10) for _ in range(count - large)]
    left = max(megabytes * (1 << 20) - sum(small), large)
    mean = left // large
    big = [rng.randint(mean // 2, mean * 3 // 2) for _ in range(large)]
    sizes = small + big
    rng.shuffle(sizes)
    return sizes


def write_cd(cd, sizes, setup_exe):
    """The CD in folder cd: the generated files under files\\, a copy list
    that copies every one (its check-only positions name the list itself),
    the sample's English message file and setup.exe. Returns the Windows
    paths of the files."""
    if cd.exists():
        shutil.rmtree(cd)
    (cd / "install").mkdir(parents=True)
    shutil.copy2(SAMPLE_INSTALL / "einstall.dat", cd / "install")
    shutil.copy2(setup_exe, cd / "setup.exe")
    block = os.urandom(1 << 20)
    rng = random.Random(9)
    names = []
    for i, size in enumerate(sizes):
        folder = f"files/{i // 500:02d}"
        (cd / folder).mkdir(parents=True, exist_ok=True)
        name = f"{folder}/f{i:05d}.bin"
        with open(cd / name, "wb") as out:
            while size > 0:
                piece = block[rng.randrange(0, 1024):][:size]
                out.write(piece)
                size -= len(piece)
        names.append("\\" + name.replace("/", "\\"))
    filler = "\\install\\eopylist.dat"
    entries = [filler] * 4 + names
    entries.insert(6, filler)
    (cd / "install" / "eopylist.dat").write_bytes(
        (f"{len(entries)} 0\r\n" + "".join(e + "\r\n" for e in entries)).encode())
    return [CD_LETTER.upper() + ":" + n for n in names]


def insert_cd(wine, count, sizes):
    cd = wine.drive_path(CD_LETTER)
    sources = write_cd(cd, sizes, wine.setup_exe)
    wine.c_path(LIST).write_text("".join(s + "\r\n" for s in sources))
    for path in cd.rglob("*"):  # the page cache holds the CD for every run
        if path.is_file():
            path.read_bytes()
    os.sync()
    return count


# --- one run of each program -------------------------------------------------

def clean_destination(wine):
    # Set aside, not deleted: ext4 without a journal skips inodes deleted
    # in the last minutes when it allocates, which slowed whichever program
    # ran after a deletion. The session's folder goes at the end.
    if wine.c_path(DEST).exists():
        wine.c_path(DEST).rename(tempfile.mkdtemp(dir=wine.root) + "/kept")
    wine.debug_log_path.unlink(missing_ok=True)
    for link in wine.desktop().glob("*.lnk"):
        link.unlink()
    os.sync()  # the next run starts without writeback of this one


def check_installed(wine, count, what):
    copied = [p for p in wine.c_path(DEST).iterdir() if p.name.endswith(".bin")]
    if len(copied) != count:
        raise SystemExit(f"{what}: {len(copied)} of {count} files in {DEST}")
    leftovers = [p.name for p in wine.c_path(DEST).iterdir() if p.name.endswith(".tmp")]
    if leftovers:
        raise SystemExit(f"{what}: temporary files left: {leftovers}")


def run_setup(wine, count, on_ok=None, on_box=None):
    """Seconds from pressing OK to the message box of a default
    installation, and the processor seconds setup.exe used meanwhile."""
    marks, cpu = [], []

    def on_pause(_index):
        marks.append(time.monotonic())
        pid = setup_pid(wine)
        cpu.append(processor_seconds(pid))
        hook = on_ok if len(marks) == 1 else on_box
        if hook:
            hook(pid)

    run = wine.drive(["wait-dialog", "pause", f"click-async {wine_env.IDOK}",
                      "wait-msgbox", "pause", "press-ok", "wait-exit"],
                     cwd=CD_LETTER.upper() + ":\\", program=CD_LETTER.upper() + r":\setup.exe",
                     on_pause=on_pause, timeout=RUN_TIMEOUT)
    text = run.of("wait-msgbox")[0]["text"]
    if not text.startswith(SUCCESS):
        raise SystemExit(f"setup.exe did not succeed: {text!r}")
    check_installed(wine, count, "setup.exe")
    return marks[1] - marks[0], cpu[1] - cpu[0]


def processor_seconds(pid):
    """User and system seconds of a process, all its threads."""
    fields = Path(f"/proc/{pid}/stat").read_text().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def run_peer(wine, mode, count, launcher=()):
    argv = [mode, LIST, DEST]
    if launcher:
        status, out, err = run_console_under(wine, launcher, argv)
    else:
        status, out, err = wine.run_console(argv, program=WIN_COPY, timeout=RUN_TIMEOUT)
    if status != 0:
        raise SystemExit(f"win_copy {mode} failed ({status}): {err.decode(errors='replace')}")
    check_installed(wine, count, f"win_copy {mode}")
    found = re.search(rb"seconds ([0-9.]+) cpu ([0-9.]+)", out)
    return float(found.group(1)), float(found.group(2))


def run_console_under(wine, launcher, argv):
    with tempfile.TemporaryFile(dir=wine.root) as out, \
            tempfile.TemporaryFile(dir=wine.root) as err:
        status = subprocess.run([*launcher, "wine", WIN_COPY, *argv], env=wine.env,
                                cwd=wine.c_path(), stdin=subprocess.DEVNULL, stdout=out,
                                stderr=err, timeout=RUN_TIMEOUT).returncode
        out.seek(0)
        err.seek(0)
        return status, out.read(), err.read()


# --- timing ----------------------------------------------------------------

def timing(wine, args):
    sizes = file_sizes(args.files, args.megabytes)
    count = insert_cd(wine, args.files, sizes)
    print(f"{count} files, {sum(sizes) / 1e6:.0f} MB; medians of {args.runs} runs",
          flush=True)
    programs = [SETUP, *PEERS]
    times = collections.defaultdict(list)
    cpus = collections.defaultdict(list)
    for run in range(args.runs):
        # The order rotates, so that no program always follows the same one.
        shift = run % len(programs)
        for label in programs[shift:] + programs[:shift]:
            clean_destination(wine)
            if label == SETUP:
                seconds, cpu = run_setup(wine, count)
            else:
                seconds, cpu = run_peer(wine, PEERS[label], count)
            times[label].append(seconds)
            cpus[label].append(cpu)
            print(f"  run {run + 1}: {label}: {seconds:.2f} s, cpu {cpu:.2f} s", flush=True)
    clean_destination(wine)
    medians = {label: statistics.median(times[label]) for label in programs}
    cpu = {label: statistics.median(cpus[label]) for label in programs}
    copyfile, peer = PEER_LABELS
    # The processor time of the program's own process, which a busy
    # machine disturbs less than the clock (the wineserver's not counted).
    print(f"\n{'program':<42} {'median s':>9} {'/ CopyFileA':>12} {'/ flush peer':>13}"
          f" {'cpu s':>7} {'cpu / CopyFileA':>16} {'cpu / flush peer':>17}")
    for label in programs:
        print(f"{label:<42} {medians[label]:9.2f} {medians[label] / medians[copyfile]:12.2f} "
              f"{medians[label] / medians[peer]:13.2f} {cpu[label]:7.2f} "
              f"{cpu[label] / cpu[copyfile]:16.2f} {cpu[label] / cpu[peer]:17.2f}")


# --- profile -----------------------------------------------------------------

RELAY_CALL = re.compile(r"^([0-9a-f]+):[0-9a-f]+:Call ([A-Za-z0-9_]+)\.([A-Za-z0-9_]+)\(.*"
                        r"ret=([0-9a-f]+)$")
# A call the program made itself returns into its own image (loaded at
# its preferred base, 0x140000000, being neither moved nor a DLL).
IMAGE_BASE, IMAGE_END = 0x140000000, 0x141000000
STRACE_ROW = re.compile(r"^\s*[0-9.]+\s+([0-9.]+)\s+\d+\s+(\d+)\s+(?:\d+\s+)?(\w+)$")


def relay_counts(stderr, marker):
    """Per (dll, function): the calls the program made itself (the C
    runtime's left out), and the ntdll system calls of the whole process,
    in the process that opened `marker`."""
    own, nt, pids = collections.Counter(), collections.Counter(), collections.Counter()
    lines = stderr.splitlines()
    for line in lines:
        if marker in line and ":Call " in line:
            pids[line.split(":", 1)[0]] += 1
    if not pids:
        return own, nt
    pid = pids.most_common(1)[0][0]
    for line in lines:
        found = RELAY_CALL.match(line)
        if not found or found.group(1) != pid:
            continue
        dll, function, ret = found.group(2).lower(), found.group(3), int(found.group(4), 16)
        if IMAGE_BASE <= ret < IMAGE_END and dll != "msvcrt":
            own[f"{dll}.{function}"] += 1
        if dll == "ntdll" and function.startswith(("Nt", "Zw")):
            nt[function] += 1
    return own, nt


def strace_counts(path):
    counts = collections.Counter()
    for line in Path(path).read_text().splitlines():
        found = STRACE_ROW.match(line)
        if found and found.group(3) != "total":
            counts[found.group(3)] += int(found.group(2))
    return counts


def setup_pid(wine):
    """The host process of setup.exe in this session's prefix (its command
    line names it; other prefixes may run one too)."""
    prefix = f"WINEPREFIX={wine.prefix}".encode()
    for entry in Path("/proc").iterdir():
        if entry.name.isdigit():
            try:
                program = (entry / "cmdline").read_bytes().split(b"\0")[0]
                if (program.lower().endswith(b"setup.exe")
                        and prefix in (entry / "environ").read_bytes().split(b"\0")):
                    return int(entry.name)
            except OSError:
                pass
    raise SystemExit("setup.exe's process not found")


def profile_setup(wine, count, out):
    """setup.exe's relay trace, and strace -c of its process from OK to
    the message box only."""
    wine.env["WINEDEBUG"] = "+pid,+relay"
    try:
        clean_destination(wine)
        stderr = wine_drive_stderr(wine, count)
    finally:
        wine.env["WINEDEBUG"] = "-all"
    relay = relay_counts(stderr, "\\\\files\\\\")
    clean_destination(wine)
    tracer = []

    def start(pid):
        tracer.append(subprocess.Popen(["strace", "-c", "-f", "-o", str(out),
                                        "-p", str(pid)],
                                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
        time.sleep(1)  # attached to every thread before OK

    def stop(_pid):
        tracer[0].send_signal(signal.SIGINT)
        tracer[0].wait(30)

    run_setup(wine, count, on_ok=start, on_box=stop)
    return relay, strace_counts(out)


def wine_drive_stderr(wine, count):
    run = wine.drive(["wait-dialog", f"click-async {wine_env.IDOK}", "wait-msgbox",
                      "press-ok", "wait-exit"],
                     cwd=CD_LETTER.upper() + ":\\", program=CD_LETTER.upper() + r":\setup.exe",
                     timeout=RUN_TIMEOUT)
    check_installed(wine, count, "setup.exe")
    return run.stderr


def profile_peer(wine, mode, count, out):
    wine.env["WINEDEBUG"] = "+pid,+relay"
    try:
        clean_destination(wine)
        argv = [mode, LIST, DEST]
        _, _, err = wine.run_console(argv, program=WIN_COPY, timeout=RUN_TIMEOUT)
    finally:
        wine.env["WINEDEBUG"] = "-all"
    relay = relay_counts(err.decode(errors="replace"), "\\\\files\\\\")
    clean_destination(wine)
    run_peer(wine, mode, count, launcher=["strace", "-c", "-f", "-o", str(out)])
    return relay, strace_counts(out)


def per_file(smaller, larger, files):
    table = {}
    for key in set(smaller) | set(larger):
        delta = (larger.get(key, 0) - smaller.get(key, 0)) / files
        if abs(delta) >= 0.05:
            table[key] = delta
    return table


def print_table(title, columns, rows_of):
    keys = sorted({k for table in rows_of.values() for k in table},
                  key=lambda k: -max(t.get(k, 0) for t in rows_of.values()))
    print(f"\n{title}")
    print(f"{'call':<34}" + "".join(f"{c:>16}" for c in columns))
    for key in keys:
        print(f"{key:<34}" + "".join(f"{rows_of[c].get(key, 0):16.1f}" for c in columns))
    print(f"{'all':<34}" + "".join(f"{sum(rows_of[c].values()):16.1f}" for c in columns))


def profile(wine, args):
    size = args.profile_size
    counts = (args.profile_files, 2 * args.profile_files)
    programs = {"setup.exe": None, **{m: m for m in PEERS.values()}}
    results = {name: [] for name in programs}
    for count in counts:
        insert_cd(wine, count, [size] * count)
        for name, mode in programs.items():
            out = wine.root / f"strace-{name}-{count}.txt"
            if mode is None:
                results[name].append(profile_setup(wine, count, out))
            else:
                results[name].append(profile_peer(wine, mode, count, out))
            print(f"  profiled {name} on {count} files", flush=True)
    extra = counts[1] - counts[0]
    own = {n: per_file(r[0][0][0], r[1][0][0], extra) for n, r in results.items()}
    nt = {n: per_file(r[0][0][1], r[1][0][1], extra) for n, r in results.items()}
    host = {n: per_file(r[0][1], r[1][1], extra) for n, r in results.items()}
    print(f"\nCalls per installed file of {size} bytes (runs on {counts[0]} and "
          f"{counts[1]} files, the difference over {extra})")
    print_table("Win32 calls made by the program (WINEDEBUG=+relay)", list(programs), own)
    print_table("NT system calls of the process (ntdll Nt*, +relay)", list(programs), nt)
    print_table("Host system calls (strace -c -f; setup.exe from OK to the box)",
                list(programs), host)
    clean_destination(wine)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--files", type=int, default=2000)
    parser.add_argument("--megabytes", type=int, default=300)
    parser.add_argument("--profile", action="store_true")
    parser.add_argument("--profile-files", type=int, default=20)
    parser.add_argument("--profile-size", type=int, default=150000)
    args = parser.parse_args()
    for variable in ("ORVIK_E2E_SETUP_EXE", "ORVIK_E2E_UI_DRIVER", "ORVIK_BENCH_WIN_COPY"):
        if not os.environ.get(variable):
            raise SystemExit(f"set {variable}")
    wine = wine_env.session()
    shutil.copy2(os.environ["ORVIK_BENCH_WIN_COPY"], wine.c_path(WIN_COPY))
    wine.set_drives({CD_LETTER: "cdrom"})
    if args.profile:
        profile(wine, args)
    else:
        timing(wine, args)


if __name__ == "__main__":
    main()
