"""The install dialog of the real setup.exe under Wine: introduction,
language choice, default folder, focus, placement, Cancel and the log."""

import unittest

from wine_env import (IDC_DEST_DIR, IDC_MESSAGE, IDCANCEL, LANGUAGE_BUTTONS,
                      WineTestCase, lookup, message_lines, read_bytes)

ENTERING = b"Entering dlg"
EXITED = b"Exited install_dlg"
CHECKS = [f"checked {LANGUAGE_BUTTONS[k]}" for k in "edfi"]


def intro(cd, language):
    return message_lines(cd / "install" / f"{language}install.dat", 0, 3)


class StartTest(WineTestCase):
    def test_start_from_the_cd_shows_the_english_introduction(self):
        cd = self.insert_cd("d")
        run = self.wine.drive(
            ["wait-dialog", f"read {IDC_MESSAGE}", f"read {IDC_DEST_DIR}", *CHECKS,
             "focus", "geometry", "windows", f"click {IDCANCEL}", "wait-exit"],
            cwd="D:\\", program=r"D:\setup.exe")
        dialog, message, folder, *checks, focus, geometry, windows, _, _ = run.results

        self.assertEqual(dialog["caption"], "Orvik Setup")
        self.assertEqual(read_bytes(message), intro(cd, "e"))
        self.assertEqual(message["text"], intro(cd, "e").decode("cp1252"))
        self.assertEqual(folder["text"], "c:\\orvik8")
        self.assertEqual([c["state"] for c in checks], [1, 0, 0, 0])
        self.assertEqual(focus["id"], IDC_DEST_DIR)
        self.assertEqual(len(windows["windows"]), 1, windows)

        # No owner and no centring style: the program centres the dialog in
        # the work area itself.
        left, top, right, bottom = geometry["window"]
        w_left, w_top, w_right, w_bottom = geometry["workarea"]
        self.assertLessEqual(
            abs(left - (w_left + (w_right - w_left - (right - left)) // 2)), 1, geometry)
        self.assertLessEqual(
            abs(top - (w_top + (w_bottom - w_top - (bottom - top)) // 2)), 1, geometry)

        # Cancel: exit status 0, and the log holds the start, the one
        # lookup of the introduction (the current folder D:\ has no
        # einstall.dat), and the end; the source drive keeps its case.
        self.assertEqual(run.exit_status, 0)
        self.assertLog([ENTERING, lookup(r"D:\install\einstall.dat", True), EXITED])

    def test_message_file_in_the_current_folder_comes_first_and_is_not_logged(self):
        self.insert_cd("d", files={"einstall.dat": b"Current folder\r\n"})
        run = self.wine.drive(["wait-dialog", f"read {IDC_MESSAGE}",
                               f"click {IDCANCEL}", "wait-exit"],
                              cwd="D:\\", program=r"D:\setup.exe")
        self.assertEqual(read_bytes(run[1]), b"Current folder\r\n")
        self.assertEqual(run.exit_status, 0)
        self.assertLog([ENTERING, EXITED])

    def test_second_run_overwrites_the_log(self):
        self.insert_cd("d")
        script = ["wait-dialog", f"click {IDCANCEL}", "wait-exit"]
        # The first run searches and logs a lot; the second finds the
        # message file in its current folder and logs no lookup.
        self.wine.drive(script, args=["-q"], cwd="c:\\")
        self.assertGreater(len(self.wine.debug_log().split(b"\n")), 4)
        self.wine.drive(script, cwd="D:\\install", program=r"D:\setup.exe")
        self.assertLog([ENTERING, EXITED])


class LanguageTest(WineTestCase):
    def test_each_language_shows_its_introduction_and_keeps_the_folder(self):
        cd = self.insert_cd("d")
        script = ["wait-dialog"]
        for language in "dfie":
            script += [f"click {LANGUAGE_BUTTONS[language]}", f"read {IDC_MESSAGE}",
                       *CHECKS]
        script += [f"read {IDC_DEST_DIR}", f"click {IDCANCEL}", "wait-exit"]
        run = self.wine.drive(script, cwd="D:\\", program=r"D:\setup.exe")

        for index, language in enumerate("dfie"):
            with self.subTest(language=language):
                message, *checks = run.results[2 + 6 * index:7 + 6 * index]
                self.assertEqual(read_bytes(message), intro(cd, language))
                self.assertEqual(message["text"], intro(cd, language).decode("cp1252"))
                self.assertEqual([c["state"] for c in checks],
                                 [int(k == language) for k in "edfi"])
        # Windows-1252 bytes arrive as the right characters.
        self.assertIn("W\u00e4hlen Sie die Sprache", run[2]["text"])
        self.assertEqual(run.of("read")[-1]["text"], "c:\\orvik8")
        self.assertLog([ENTERING] +
                       [lookup(f"D:\\install\\{k}install.dat", True) for k in "edfie"] +
                       [EXITED])

    def test_clicking_the_checked_language_looks_it_up_again(self):
        self.insert_cd("d")
        self.wine.drive(["wait-dialog", f"click {LANGUAGE_BUTTONS['e']}",
                         f"click {IDCANCEL}", "wait-exit"],
                        cwd="D:\\", program=r"D:\setup.exe")
        found = lookup(r"D:\install\einstall.dat", True)
        self.assertLog([ENTERING, found, found, EXITED])

    def test_language_without_message_file_empties_the_text(self):
        # No French file anywhere: the search over d:, f:, g: finds nothing,
        # the text is empty and the source drive stays D, in upper case.
        cd = self.insert_cd("d", remove=["install/finstall.dat"])
        run = self.wine.drive(
            ["wait-dialog", f"click {LANGUAGE_BUTTONS['f']}", f"read {IDC_MESSAGE}",
             f"checked {LANGUAGE_BUTTONS['f']}", f"click {LANGUAGE_BUTTONS['i']}",
             f"read {IDC_MESSAGE}", f"click {IDCANCEL}", "wait-exit"],
            cwd="D:\\", program=r"D:\setup.exe")
        self.assertEqual(run[2]["text"], "")
        self.assertEqual(run[3]["state"], 1)
        self.assertEqual(read_bytes(run[5]), intro(cd, "i"))
        probes = []
        for letter in "dfg":
            probes += [lookup(f"{letter}:\\install\\finstall.dat", False),
                       lookup(f"{letter}:\\install\\install.dat", False, legacy=True)]
        self.assertLog([ENTERING, lookup(r"D:\install\einstall.dat", True),
                        lookup(r"D:\install\finstall.dat", False),
                        lookup(r"D:\install\install.dat", False, legacy=True),
                        *probes, lookup(r"D:\install\iinstall.dat", True), EXITED])


class LegacyCdTest(WineTestCase):
    def test_legacy_cd_gives_version_7_folder(self):
        cd = self.insert_cd("d", legacy=True)
        run = self.wine.drive(["wait-dialog", f"read {IDC_MESSAGE}",
                               f"read {IDC_DEST_DIR}", f"click {IDCANCEL}", "wait-exit"],
                              cwd="D:\\", program=r"D:\setup.exe")
        self.assertEqual(read_bytes(run[1]),
                         message_lines(cd / "install" / "install.dat", 0, 3))
        self.assertEqual(run[2]["text"], "c:\\orvik7")
        self.assertLog([ENTERING, lookup(r"D:\install\einstall.dat", False),
                        lookup(r"D:\install\install.dat", True, legacy=True), EXITED])

    def test_legacy_file_found_later_leaves_the_folder_text(self):
        legacy = b"Legacy text\r\nline 2\r\nline 3\r\nline 4\r\n"
        self.insert_cd("d", remove=["install/dinstall.dat"],
                       files={"install/install.dat": legacy})
        run = self.wine.drive(["wait-dialog", f"click {LANGUAGE_BUTTONS['d']}",
                               f"read {IDC_MESSAGE}", f"read {IDC_DEST_DIR}",
                               f"click {IDCANCEL}", "wait-exit"],
                              cwd="D:\\", program=r"D:\setup.exe")
        self.assertEqual(read_bytes(run[2]), b"Legacy text\r\nline 2\r\nline 3\r\n")
        self.assertEqual(run[3]["text"], "c:\\orvik8")


if __name__ == "__main__":
    unittest.main()
