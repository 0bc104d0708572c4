"""The command line names the source drive: "-" and a character, taken as
typed; anything else is ignored and the current drive is used."""

import unittest

from wine_env import IDC_MESSAGE, IDCANCEL, WineTestCase, lookup, read_bytes

ENTERING = b"Entering dlg"
EXITED = b"Exited install_dlg"
ON_D = b"CD in d:\r\nline 2\r\nline 3\r\n"
ON_E = b"CD in e:\r\nline 2\r\nline 3\r\n"


class CommandLineTest(WineTestCase):
    def setUp(self):
        super().setUp()
        # d: is a CD-ROM drive, e: a fixed disk; both hold the files.
        self.insert_cd("d", files={"install/einstall.dat": ON_D})
        self.insert_cd("e", files={"install/einstall.dat": ON_E})

    def open_and_cancel(self, args, cwd):
        return self.wine.drive(["wait-dialog", f"read {IDC_MESSAGE}",
                                f"click {IDCANCEL}", "wait-exit"], args=args, cwd=cwd)

    def test_drive_switch_is_taken_as_typed(self):
        cases = [
            (["-e"], r"e:\install\einstall.dat"),
            (["-E"], r"E:\install\einstall.dat"),
            (["-EXTRA"], r"E:\install\einstall.dat"),
            (["-E", "-d"], r"E:\install\einstall.dat"),
        ]
        for args, name in cases:
            with self.subTest(args=args):
                run = self.open_and_cancel(args, "c:\\")
                # A fixed disk named on the command line is used: only the
                # search is limited to CD-ROM drives.
                self.assertEqual(read_bytes(run[1]), ON_E)
                self.assertEqual(run.exit_status, 0)
                self.assertLog([ENTERING, lookup(name, True), EXITED])

    def test_lone_hyphen_names_no_drive_and_the_search_finds_the_cd(self):
        run = self.open_and_cancel(["-"], "c:\\")
        self.assertEqual(read_bytes(run[1]), ON_D)
        self.assertLog([ENTERING, lookup("", False), lookup("", False, legacy=True),
                        lookup(r"d:\install\einstall.dat", True), EXITED])

    def test_without_hyphen_the_current_drive_is_used(self):
        for args in ([], ["e"], ["/E"], ["E"]):
            with self.subTest(args=args):
                run = self.open_and_cancel(args, "D:\\")
                self.assertEqual(read_bytes(run[1]), ON_D)
                self.assertLog([ENTERING, lookup(r"D:\install\einstall.dat", True),
                                EXITED])

    def test_current_drive_is_taken_in_upper_case(self):
        # Started from a folder of e: typed in lower case.
        run = self.open_and_cancel([], "e:\\data")
        self.assertEqual(read_bytes(run[1]), ON_E)
        self.assertLog([ENTERING, lookup(r"E:\install\einstall.dat", True), EXITED])


if __name__ == "__main__":
    unittest.main()
