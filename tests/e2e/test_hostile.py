"""Damaged CDs and hostile copy lists: each installation ends with the result
and text prescribed for it, and nothing is written outside the destination
folder on any drive (a listing of every drive before and after)."""

import os
import shutil
import unittest

from wine_env import IDC_DEST_DIR, IDOK, WineTestCase, message_lines, read_bytes

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
    def install(self, names=None, *, raw_list=None, damage=None, remove=(), trap=None,
                folder=None):
        """Setup from a sample CD in d: whose English copy list is `names`
        (or the bytes `raw_list`), damaged in its drive folder by `damage`,
        with `trap` (a function of the CD folder) laid on the drives and
        `folder` typed as the destination; returns the CD folder and the
        message box's bytes."""
        files = {}
        if names is not None or raw_list is not None:
            files["install/eopylist.dat"] = raw_list if raw_list is not None else copy_list(names)
        shutil.rmtree(self.scratch / "cd-d", ignore_errors=True)  # an earlier subtest's
        cd = self.insert_cd("d", files=files, remove=remove)
        if damage:
            damage(cd)  # after the copy into the drive: the copy would follow links
        if trap:
            trap(cd)
        before = drive_snapshot(self.wine)
        script = ["wait-dialog"]
        if folder is not None:
            script.append(("set", IDC_DEST_DIR, folder))
        script += [f"click-async {IDOK}", "wait-msgbox", "press-ok", "wait-exit"]
        run = self.wine.drive(script, cwd="D:\\", program=r"D:\setup.exe")
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
        # Copied up to the damage; the file being copied is not left in part.
        self.assertEqual(self.installed(), ["factory.mar", "orvik.dll", "orvik8.exe",
                                            "startup.mar"])

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
            # Windows would drop the dot: startup.mar without its patches.
            b"\\prog\\startup.mar.": -4,
            # No plain file name, judged when the list is read, before
            # the CD path (a folder or nothing) is tried.
            b"\\data\\..": -4,
            b"\\data\\.": -4,
            b"\\data\\volume.id\\..": -4,
            b"\\setup.txt:stream": -4,
            b"\\setup.txt::$DATA": -4,
            # The CD path names nothing.
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

    def test_refused_name_late_in_the_list_writes_nothing(self):
        for name in (b"\\prog\\nul", b"\\prog\\startup.mar."):
            with self.subTest(name=name):
                self.wine.reset()
                cd, box = self.install(HEAD + [b"\\prog\\orvik8.exe", b"\\prog\\startup.mar",
                                               b"\\data\\check.dat", b"\\prog\\orvik.dll", name])
                self.assertOutcome(cd, box, -4, 9, 3)
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

    # Traps that another user of the machine can lay on drive c: before the
    # installation, and a destination typed as the CD's own folder.

    def plant(self, relative, data):
        path = self.wine.c_path(relative)
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_bytes(data)
        self.addCleanup(shutil.rmtree, path.parent, True)
        return path

    def test_link_in_the_destination_is_replaced_not_written_through(self):
        system_file = self.plant(r"trap\system.ini", b"the system's file\r\n")
        other_user = self.plant(r"ann\notes.txt", b"Ann's notes\r\n")

        def links(_cd):
            folder = self.wine.c_path("orvik8")
            folder.mkdir()
            os.symlink(system_file, folder / "startup.mar")
            os.link(other_user, folder / "orvik8.exe")

        cd, box = self.install(trap=links)  # the snapshot covers both targets
        self.assertOutcome(cd, box, 0, 13, 1)
        self.assertEqual(system_file.read_bytes(), b"the system's file\r\n")
        self.assertEqual(other_user.read_bytes(), b"Ann's notes\r\n")
        startup = self.wine.c_path(r"orvik8\startup.mar")
        self.assertFalse(startup.is_symlink())
        self.assertTrue(startup.read_bytes().endswith(b"18 cd drive D\n"))
        self.assertEqual(self.wine.c_path(r"orvik8\orvik8.exe").read_bytes(),
                         (cd / "prog" / "orvik8.exe").read_bytes())
        self.assertFalse([p for p in self.wine.c_path("orvik8").iterdir() if p.suffix == ".tmp"])

    def test_destination_folder_that_is_a_link_is_refused(self):
        target = self.plant(r"elsewhere\astdata.ast", b"not Orvik's\r\n").parent
        link = self.wine.c_path("orvik8")
        self.addCleanup(link.unlink, True)
        cd, box = self.install(trap=lambda _cd: os.symlink(target, link))
        self.assertOutcome(cd, box, -1, 4, 2)
        self.assertEqual(sorted(p.name for p in target.iterdir()), ["astdata.ast"])

    def test_destination_that_is_the_cds_own_folder_leaves_the_sources_whole(self):
        # The drive's folder is writable although Wine reports a CD-ROM:
        # the snapshot of d: shows that no source changed.
        cd, box = self.install(folder="d:\\prog")
        self.assertOutcome(cd, box, -4, 9, 3)

    def test_bare_drive_destination_removes_the_data_files_where_the_files_went(self):
        # Started with C:'s current folder in c:\work and the CD named on
        # the command line, as a deployment tool would.
        others = [self.plant(rf"work\astdata.{ext}", b"not stale\r\n") for ext in ("ast", "lim")]
        stale = []
        for ext in ("ast", "lim"):
            path = self.wine.c_path(f"astdata.{ext}")
            path.write_bytes(b"stale")
            stale.append(path)
        cd = self.insert_cd("d")
        installed = [self.wine.c_path(name) for name in
                     ("orvik8.exe", "startup.mar", "factory.mar", "orvik.dll", "orvik.dat",
                      "fonts.dat", "help.txt")]
        for path in installed + stale:
            self.addCleanup(path.unlink, True)
        run = self.wine.drive(["wait-dialog", ("set", IDC_DEST_DIR, "c:"), f"click-async {IDOK}",
                               "wait-msgbox", "press-ok", "wait-exit"],
                              args=["-D"], cwd="C:\\work", program=r"D:\setup.exe")
        self.assertEqual(read_bytes(run.of("wait-msgbox")[0]),
                         message_lines(cd / "install" / "einstall.dat", 13, 1))
        self.assertEqual(self.wine.c_path("orvik8.exe").read_bytes(),
                         (cd / "prog" / "orvik8.exe").read_bytes())
        self.assertEqual([p.exists() for p in stale], [False, False])
        self.assertEqual([p.read_bytes() for p in others], [b"not stale\r\n"] * 2)


if __name__ == "__main__":
    unittest.main()
