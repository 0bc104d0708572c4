"""A destination disk that fills up during the copy, for real: drive e: is a
256 KiB tmpfs mounted for the test, and the CD holds a file of 1 MiB."""

import os
import re
import shutil
import signal
import subprocess
import unittest
from pathlib import Path

from test_hostile import HEAD, copy_list, drive_snapshot
from wine_env import IDC_DEST_DIR, IDOK, WineTestCase, read_bytes, stop_server

COPY_ENGINE_H = Path(__file__).resolve().parent.parent.parent / "engine" / "copy_engine.h"
BIG = bytes((i * 131 + i // 977) % 256 for i in range(1 << 20))
DISK_SIZE = "256k"


def support_constant(name):
    match = re.search(name + r'\[\] = "([^"]*)";', COPY_ENGINE_H.read_text())
    assert match, f"{name} not in {COPY_ENGINE_H}"
    return match.group(1).encode()


def write_failure_text(dest_path):
    return (b"INSTALL FAILURE: Couldn't copy " + dest_path + b"\n"
            + b"Contact Ostmarrow at " + support_constant("kSupportTelephone") + b",\n"
            + b"or at " + support_constant("kSupportEmail") + b",  including this message.\n")


class FullDiskTest(WineTestCase):
    def mount_small_disk(self, letter):
        folder = self.wine.drive_path(letter)
        folder.mkdir(exist_ok=True)
        if shutil.which("mount") is None:
            self.skipTest("no mount command: the full-disk test needs a tmpfs")
        done = subprocess.run(["mount", "-t", "tmpfs", "-o", f"size={DISK_SIZE}", "tmpfs",
                               str(folder)], stdin=subprocess.DEVNULL,
                              stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        if done.returncode != 0:
            self.skipTest("mounting a tmpfs is not permitted here (the full-disk test "
                          "runs as root in CI): " + done.stdout.decode(errors="replace").strip())
        self.addCleanup(self.unmount, folder)
        # A test process stopped by a signal unmounts too before it ends.
        previous = {number: signal.getsignal(number)
                    for number in (signal.SIGTERM, signal.SIGINT, signal.SIGHUP)}

        def unmount_then_stop(number, frame):
            subprocess.run(["umount", "-l", str(folder)], stdin=subprocess.DEVNULL,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            handler = previous[number]
            if callable(handler):
                handler(number, frame)
            else:
                signal.signal(number, signal.SIG_DFL)
                os.kill(os.getpid(), number)

        for number in previous:
            signal.signal(number, unmount_then_stop)
        self.addCleanup(lambda: [signal.signal(n, h) for n, h in previous.items()])
        return folder

    def unmount(self, folder):
        for _ in range(2):
            if subprocess.run(["umount", str(folder)], stdin=subprocess.DEVNULL,
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode == 0:
                return
            # Our own wineserver may still hold a file on it open.
            stop_server(self.wine.env)
            self.wine.server_running = False
        subprocess.run(["umount", "-l", str(folder)], check=True)

    def test_disk_full_while_copying_reports_the_file_and_leaves_no_part(self):
        disk = self.mount_small_disk("e")
        names = HEAD + [b"\\prog\\orvik8.exe", b"\\data\\big.dat", b"\\data\\check.dat",
                        b"\\prog\\orvik.dll"]
        cd = self.insert_cd("d", files={"data/big.dat": BIG,
                                        "install/eopylist.dat": copy_list(names)})
        before = drive_snapshot(self.wine)
        run = self.wine.drive(["wait-dialog", ("set", IDC_DEST_DIR, "e:\\orvik8"),
                               f"click-async {IDOK}", "wait-msgbox", "press-ok", "wait-exit"],
                              cwd="D:\\", program=r"D:\setup.exe")
        box = read_bytes(run.of("wait-msgbox")[0])

        text = write_failure_text(b"e:\\orvik8\\big.dat")
        self.assertEqual(box, text)
        log = self.wine.debug_log()
        self.assertTrue(log.endswith(b"rval = -5\n" + text + b"\nExited install_dlg\n"), log)
        self.assertEqual(list(self.wine.desktop().glob("*.lnk")), [])

        # The whole first file stays; the one that did not fit is not left
        # half written, nor its temporary file.
        installed = disk / "orvik8"
        self.assertEqual(sorted(p.name for p in installed.iterdir()), ["orvik8.exe"])
        self.assertEqual((installed / "orvik8.exe").read_bytes(),
                         (cd / "prog" / "orvik8.exe").read_bytes())

        after = drive_snapshot(self.wine)
        changed = sorted(k for k in before.keys() | after.keys()
                         if before.get(k) != after.get(k) and not k.startswith("e:/orvik8"))
        self.assertEqual(changed, [], "written outside the destination folder")
        self.assertEqual(run.exit_status, 0)


if __name__ == "__main__":
    unittest.main()
