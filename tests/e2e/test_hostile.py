"""Damaged CDs and hostile copy lists: each installation ends with the result
and text prescribed for it, and nothing is written outside the destination
folder on any drive (a listing of every drive before and after)."""

import os
import shutil
import unittest

from wine_env import IDOK, WineTestCase, message_lines, read_bytes

# Check-only positions 0-3 as on the sample CD: entry 4 is the first copied.
HEAD = [b"\\setup.txt", b"\\data\\volume.id", b"\\install\\einstall.dat",
        b"\\install\\eopylist.dat"]
EXITED = b"Exited install_dlg\n"


def copy_list(names, header=None):
    header = str(len(names)).encode() + b" 0" if header is None else header
    return b"\r\n".join([header, *names]) + b"\r\n"


def drive_snapshot(wine, destination="orvik8"):
    """Every entry on every drive (c: and the mapped drive folders) with its
    type, size and modification time, except the destination folder on c:,
    the debug log and the desktop shortcut, which Setup writes by design."""
    roots = {"c:": wine.c_path()}
    roots.update({f"{letter}:": wine.drive_path(letter) for letter in wine.layout})
    skip = {str(path) for path in (wine.c_path(destination), wine.debug_log_path,
                                   wine.desktop() / "orvik8.lnk")}
    snapshot = {}
    for name, root in roots.items():
        for here, dirs, files in os.walk(root):
            dirs[:] = [d for d in dirs if os.path.join(here, d) not in skip]
            for entry in dirs + files:
                path = os.path.join(here, entry)
                if path in skip:
                    continue
                info = os.lstat(path)
                key = name + path[len(str(root)):]
                is_dir = os.path.isdir(path) and not os.path.islink(path)
                # A folder's time changes with its entries, which are listed.
                snapshot[key] = ("dir",) if is_dir else (info.st_mode, info.st_size,
                                                         info.st_mtime_ns)
    return snapshot


class HostileCdTest(WineTestCase):
    def install(self, names=None, *, raw_list=None, damage=None, remove=()):
        """Setup from a sample CD in d: whose English copy list is `names`
        (or the bytes `raw_list`), damaged in its drive folder by `damage`;
        returns the CD folder and the message box's bytes."""
        files = {}
        if names is not None or raw_list is not None:
            files["install/eopylist.dat"] = raw_list if raw_list is not None else copy_list(names)
        shutil.rmtree(self.scratch / "cd-d", ignore_errors=True)  # an earlier subtest's
        cd = self.insert_cd("d", files=files, remove=remove)
        if damage:
            damage(cd)  # after the copy into the drive: the copy would follow links
        before = drive_snapshot(self.wine)
        run = self.wine.drive(["wait-dialog", f"click-async {IDOK}", "wait-msgbox",
                               "press-ok", "wait-exit"], cwd="D:\\", program=r"D:\setup.exe")
        after = drive_snapshot(self.wine)
        changed = sorted(k for k in before.keys() | after.keys()
                         if before.get(k) != after.get(k))
        self.assertEqual(changed, [], "written outside the destination folder")
        self.assertEqual(run.exit_status, 0)
        return cd, read_bytes(run.of("wait-msgbox")[0])

    def assertOutcome(self, cd, box, rval, first, count):
        """The box shows message lines first.. of the CD's English file, the
        log records them under rval, and no shortcut was made."""
        text = message_lines(cd / "install" / "einstall.dat", first, count)
        self.assertEqual(box, text)
        log = self.wine.debug_log()
        self.assertTrue(log.endswith(b"rval = %d\n" % rval + text + b"\n" + EXITED), log)
        shortcuts = list(self.wine.desktop().glob("*.lnk"))
        self.assertEqual(shortcuts, [] if rval else [self.wine.desktop() / "orvik8.lnk"])

    def installed(self):
        folder = self.wine.c_path("orvik8")
        return sorted(p.name for p in folder.iterdir()) if folder.is_dir() else None

    # A damaged CD.

    def test_read_error_in_a_copied_file_is_a_damaged_cd(self):
        # /proc/self/mem opens, but reading its first page fails with EIO,
        # as a scratched sector does.
        def unreadable(cd):
            (cd / "data" / "orvik.dat").unlink()
            os.symlink("/proc/self/mem", cd / "data" / "orvik.dat")
        cd, box = self.install(damage=unreadable)
        self.assertOutcome(cd, box, -3, 9, 3)
        # Copied up to the damage, the file being copied left as it stands.
        self.assertEqual(self.installed(), ["factory.mar", "orvik.dat", "orvik.dll",
                                            "orvik8.exe", "startup.mar"])
        self.assertEqual(self.wine.c_path("orvik8/orvik.dat").stat().st_size, 0)

    def test_file_that_cannot_be_opened_is_a_damaged_cd(self):
        def folder_in_its_place(cd):
            (cd / "data" / "orvik.dat").unlink()
            (cd / "data" / "orvik.dat").mkdir()

        def link_loop(cd):
            (cd / "data" / "orvik.dat").unlink()
            os.symlink("loop.dat", cd / "data" / "orvik.dat")
            os.symlink("orvik.dat", cd / "data" / "loop.dat")

        for damage in (folder_in_its_place, link_loop):
            with self.subTest(damage.__name__):
                self.wine.reset()
                cd, box = self.install(damage=damage)
                self.assertOutcome(cd, box, -3, 9, 3)
                self.assertNotIn("orvik.dat", self.installed())

    # Names in the copy list.

    def test_names_that_would_leave_the_folder_write_nothing(self):
        refused = {
            # The CD file opens; its destination name is refused.
            b"\\prog/../../setup.txt": -4,
            b"\\prog\\nul": -4,
            b"\\prog\\nul.txt": -4,
            # The CD path names a folder or nothing.
            b"\\data\\..": -3,
            b"\\data\\.": -3,
            b"\\data\\volume.id\\..": -3,
            b"\\setup.txt:stream": -3,
            b"\\setup.txt::$DATA": -3,
            b":\\setup.txt": -3,
            b"C:\\windows\\win.ini": -3,
            b"\\\\server\\share\\x": -3,
        }
        for name, rval in refused.items():
            with self.subTest(name=name):
                self.wine.reset()
                cd, box = self.install(HEAD + [name])
                self.assertOutcome(cd, box, rval, 9, 3)
                self.assertEqual(self.installed(), [])

    def test_name_climbing_above_the_root_stays_on_the_cd_and_lands_in_the_folder(self):
        cd, box = self.install(HEAD + [b"\\..\\..\\..\\setup.txt", b"\\prog\\.\\orvik8.exe"])
        self.assertOutcome(cd, box, 0, 13, 1)
        self.assertEqual(self.installed(), ["orvik8.exe", "setup.txt"])
        self.assertEqual(self.wine.c_path("orvik8/setup.txt").read_bytes(),
                         (cd / "setup.txt").read_bytes())

    def test_very_long_names_and_lines(self):
        with self.subTest("a 5000-character name"):
            cd, box = self.install(HEAD + [b"\\prog\\" + b"n" * 5000])
            self.assertOutcome(cd, box, -3, 9, 3)
            self.assertEqual(self.installed(), [])
        with self.subTest("5000 characters after the name and the header"):
            self.wine.reset()
            names = HEAD + [b"\\prog\\orvik8.exe " + b"x" * 5000,
                            b"$\\prog\\startup.mar\t" + b"y" * 5000]
            cd, box = self.install(raw_list=copy_list(names, b"6 0 " + b"z" * 5000))
            self.assertOutcome(cd, box, 0, 13, 1)
            self.assertEqual(self.installed(), ["orvik8.exe", "startup.mar"])

    def test_malformed_copy_lists_fail_before_anything_is_copied(self):
        entries = HEAD + [b"\\prog\\orvik8.exe", b"\\prog\\startup.mar", b"\\data\\check.dat",
                          b"\\prog\\orvik.dll"]
        malformed = {
            "more entries announced than listed": copy_list(entries, b"40 0"),
            "a header that is not a number": copy_list(entries, b"eight 0"),
            "an empty header": copy_list(entries, b""),
            "an empty line among the entries": copy_list(entries[:5] + [b""] + entries[6:],
                                                         b"8 0"),
            "a line of blanks": copy_list(entries[:5] + [b" \t "] + entries[6:], b"8 0"),
            "an empty file": b"",
        }
        for label, listing in malformed.items():
            with self.subTest(label):
                self.wine.reset()
                cd, box = self.install(raw_list=listing)
                self.assertOutcome(cd, box, -2, 6, 2)
                self.assertEqual(self.installed(), [])


if __name__ == "__main__":
    unittest.main()
