"""The search for the CD over the CD-ROM drives, with drives that Wine
reports as CD-ROM (d:, f:, g:) and as a fixed disk (e:)."""

import unittest

from wine_env import (IDC_DEST_DIR, IDC_MESSAGE, IDCANCEL, LANGUAGE_BUTTONS,
                      WineTestCase, lookup, read_bytes)

ENTERING = b"Entering dlg"
EXITED = b"Exited install_dlg"
NOTHING_ON_Q = [lookup(r"q:\install\einstall.dat", False),
                lookup(r"q:\install\install.dat", False, legacy=True)]


def no_disc(letter, language="e"):
    return [lookup(f"{letter}:\\install\\{language}install.dat", False),
            lookup(f"{letter}:\\install\\install.dat", False, legacy=True)]


def marked(letter):
    """A message file that tells which drive it came from."""
    return {"install/einstall.dat": f"CD in {letter}:\r\nline 2\r\nline 3\r\n".encode()}


class CdSearchTest(WineTestCase):
    def open_and_cancel(self, *extra):
        # -q names a drive that does not exist: the search must find the CD.
        return self.wine.drive(["wait-dialog", f"read {IDC_MESSAGE}",
                                f"read {IDC_DEST_DIR}", *extra, "windows",
                                f"click {IDCANCEL}", "wait-exit"],
                               args=["-q"], cwd="c:\\")

    def test_lowest_cdrom_drive_wins_and_the_fixed_disk_is_never_tried(self):
        self.insert_cd("e", files=marked("e"))
        self.insert_cd("f", files=marked("f"))
        self.insert_cd("g", files=marked("g"))
        run = self.open_and_cancel(f"click {LANGUAGE_BUTTONS['d']}")
        self.assertEqual(read_bytes(run[1]), b"CD in f:\r\nline 2\r\nline 3\r\n")
        self.assertEqual(run[2]["text"], "c:\\orvik8")
        # The found drive is the new source drive, in lower case: the next
        # language is looked up there first.
        self.assertLog([ENTERING, *NOTHING_ON_Q, *no_disc("d"),
                        lookup(r"f:\install\einstall.dat", True),
                        lookup(r"f:\install\dinstall.dat", True), EXITED])

    def test_drive_without_a_disc_is_passed_over_without_a_prompt(self):
        # d: and f: have no disc; e: is a fixed disk that holds the files.
        self.insert_cd("e", files=marked("e"))
        self.insert_cd("g", files=marked("g"))
        run = self.open_and_cancel()
        self.assertEqual(read_bytes(run[1]), b"CD in g:\r\nline 2\r\nline 3\r\n")
        self.assertEqual([w["is_dialog"] for w in run.of("windows")[0]["windows"]], [True])
        self.assertEqual(run.exit_status, 0)
        self.assertLog([ENTERING, *NOTHING_ON_Q, *no_disc("d"), *no_disc("f"),
                        lookup(r"g:\install\einstall.dat", True), EXITED])

    def test_legacy_cd_on_a_lower_letter_beats_a_current_one(self):
        self.insert_cd("f", legacy=True)
        self.insert_cd("g", files=marked("g"))
        run = self.open_and_cancel()
        self.assertEqual(run[2]["text"], "c:\\orvik7")
        self.assertLog([ENTERING, *NOTHING_ON_Q, *no_disc("d"),
                        lookup(r"f:\install\einstall.dat", False),
                        lookup(r"f:\install\install.dat", True, legacy=True), EXITED])

    def test_no_cd_anywhere_leaves_the_text_empty(self):
        self.insert_cd("e")
        run = self.open_and_cancel()
        self.assertEqual(run[1]["text"], "")
        self.assertEqual(run[2]["text"], "c:\\orvik8")
        self.assertEqual(run.exit_status, 0)
        self.assertLog([ENTERING, *NOTHING_ON_Q, *no_disc("d"), *no_disc("f"),
                        *no_disc("g"), EXITED])


class NoCdRomDriveTest(WineTestCase):
    drives = {"e": "hd"}

    def test_without_cdrom_drives_only_the_source_drive_is_tried(self):
        self.insert_cd("e")
        run = self.wine.drive(["wait-dialog", f"read {IDC_MESSAGE}",
                               f"read {IDC_DEST_DIR}", f"click {IDCANCEL}", "wait-exit"],
                              args=["-q"], cwd="c:\\")
        self.assertEqual(run[1]["text"], "")
        self.assertEqual(run[2]["text"], "c:\\orvik8")
        self.assertLog([ENTERING, *NOTHING_ON_Q, EXITED])


if __name__ == "__main__":
    unittest.main()
