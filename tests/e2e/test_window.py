"""The dialog's window beyond its controls: F1 alone starts Windows Help, and the
window survives being minimised and restored."""

import unittest

from wine_env import IDC_DEST_DIR, IDC_MESSAGE, IDCANCEL, WineTestCase, message_lines, read_bytes

VK_SHIFT, VK_F1 = 0x10, 0x70
SC_MINIMIZE, SC_RESTORE = 0xF020, 0xF120
IDNO = 7


class WindowTest(WineTestCase):
    def test_f1_starts_windows_help_on_the_program_path_with_hlp(self):
        self.insert_cd("d")
        # A real key press: only the system's input queue turns F1 into
        # WM_HELP. Wine's help viewer then asks about the missing file, once
        # for each request: Shift+F1 before it must not make one.
        run = self.wine.drive(["wait-dialog", "focus", f"key {VK_SHIFT} {VK_F1}",
                               f"key {VK_F1}", ("wait-window", "setup.HLP"), "windows",
                               f"close-window {IDNO}", ("no-window", "setup.HLP", 2000),
                               f"read {IDC_DEST_DIR}",
                               f"click {IDCANCEL}", "wait-exit"],
                              cwd="D:\\", program=r"D:\setup.exe")
        self.assertEqual(run.of("focus")[0]["id"], IDC_DEST_DIR)
        self.assertTrue(run.of("key")[0]["foreground"])
        help_box = run.of("wait-window")[0]
        self.assertNotEqual(help_box["pid"], run.start["pid"])
        self.assertTrue(any("D:\\setup.HLP" in text for text in help_box["texts"]),
                        help_box)
        # Help was started: setup.exe shows no "Failed to launch help." box.
        self.assertEqual([w["is_dialog"] for w in run.of("windows")[0]["windows"]], [True])
        self.assertEqual(run.of("read")[0]["text"], "c:\\orvik8")
        self.assertEqual(run.exit_status, 0)

    def test_minimised_and_restored_dialog_goes_on_working(self):
        cd = self.insert_cd("d")
        run = self.wine.drive(["wait-dialog", "geometry", f"syscommand {SC_MINIMIZE}",
                               "geometry", f"syscommand {SC_RESTORE}", "geometry",
                               f"read {IDC_MESSAGE}", f"click {IDCANCEL}", "wait-exit"],
                              cwd="D:\\", program=r"D:\setup.exe")
        before, minimised, restored = run.of("geometry")
        self.assertEqual([g["iconic"] for g in (before, minimised, restored)],
                         [False, True, False])
        self.assertEqual(restored["window"], before["window"])
        self.assertEqual(read_bytes(run.of("read")[0]),
                         message_lines(cd / "install" / "einstall.dat", 0, 3))
        self.assertEqual(run.exit_status, 0)


if __name__ == "__main__":
    unittest.main()
