"""orvik-install.exe, the console installer, under Wine without a display:
its switches, the outcome text on standard output, the exit status of
each failure, and the same installation and log as setup.exe's."""

import shutil
import unittest

from test_install import InstallChecks
from wine_env import WineTestCase, lookup, message_lines

ENTERING = b"Entering dlg"
EXITED = b"Exited install_dlg"


class UnattendedTest(InstallChecks, WineTestCase):
    needs_display = False

    def run_install(self, *args, cwd="D:\\"):
        return self.wine.run_console(list(args), cwd=cwd)

    def message(self, cd, first, count, language="e"):
        return message_lines(cd / "install" / f"{language}install.dat", first, count)

    def assertNothingInstalled(self):
        self.assertEqual([p.name for p in self.wine.c_path().glob("orvik*")], [])
        self.assertEqual(list(self.wine.desktop().glob("*.lnk")), [])

    def test_default_install_from_the_cd(self):
        cd = self.insert_cd("d")
        status, out, err = self.run_install()
        self.assertEqual((status, out, err), (0, self.message(cd, 13, 1), b""))
        self.assertInstalled(cd, "e", "D")
        self.assertShortcut()
        # No log unless asked for.
        self.assertIsNone(self.wine.debug_log())

    def test_german_install_to_a_typed_folder_with_a_log(self):
        cd = self.insert_cd("d")
        self.wine.c_path("orvik files").mkdir()
        folder = "c:\\orvik files\\Orvik 8"
        log = "c:\\orvik files\\install log.txt"
        status, out, _ = self.run_install("--language", "d", "--dest", folder, "--log", log)
        success = self.message(cd, 13, 1, "d")
        self.assertEqual((status, out), (0, success))
        self.assertInstalled(cd, "d", "D", folder)
        self.assertShortcut(folder)
        self.assertFalse(self.wine.c_path("orvik8").exists())
        # setup.exe's records: the introduction's lookup in place of the
        # dialog's, then the success line's, on the CD.
        found = lookup(r"D:\install\dinstall.dat", True)
        self.assertLog([ENTERING, found, found, b"rval = 0", success[:-1], b"", EXITED],
                       path=self.wine.c_path(log))

    def test_cd_found_by_the_search_from_a_fixed_drive(self):
        cd = self.insert_cd("f")
        status, out, _ = self.run_install(cwd="c:\\")
        self.assertEqual((status, out), (0, self.message(cd, 13, 1)))
        self.assertInstalled(cd, "e", "f")
        self.assertShortcut()

    def test_windows_switches_and_quiet(self):
        self.insert_cd("f")
        status, out, err = self.run_install("/source:F:", "/language:f", "/quiet", cwd="c:\\")
        self.assertEqual((status, out, err), (0, b"", b""))
        startup = self.wine.c_path("orvik8/startup.mar").read_bytes()
        self.assertIn(b"51 language f", startup)
        self.assertTrue(startup.endswith(b"18 cd drive F\n"), startup)
        self.assertTrue(self.wine.c_path("orvik8/aide.txt").is_file())
        self.assertShortcut()

    def test_no_shortcut(self):
        cd = self.insert_cd("d")
        status, _, _ = self.run_install("--no-shortcut")
        self.assertEqual(status, 0)
        self.assertInstalled(cd, "e", "D")
        self.assertEqual(list(self.wine.desktop().glob("*.lnk")), [])

    def test_each_failure_has_its_exit_status_and_text(self):
        cd = self.insert_cd("d")
        cases = [
            # (switches, CD changes, status, text on standard output)
            (["--dest", "c:\\orvik parent\\orvik8"], {}, 11, self.message(cd, 4, 2)),
            ([], {"remove": [f"install/{k}opylist.dat" for k in "edfi"]}, 12,
             self.message(cd, 6, 2)),
            ([], {"remove": ["prog/orvik.dll"]}, 13, self.message(cd, 9, 3)),
        ]
        for args, variant, status, text in cases:
            with self.subTest(status=status):
                self.wine.reset()
                shutil.rmtree(self.scratch / "cd-d")
                cd = self.insert_cd("d", **variant)
                self.assertEqual(self.run_install(*args), (status, text, b""))
                self.assertEqual(list(self.wine.desktop().glob("*.lnk")), [])

    def test_no_cd_exits_with_2(self):
        # Nothing on the current drive nor in a CD-ROM drive; a named drive
        # is not searched past.
        self.insert_cd("e")
        for args in ([], ["--source", "g:"]):
            with self.subTest(args=args):
                status, out, err = self.run_install(*args, cwd="c:\\")
                self.assertEqual((status, out), (2, b""))
                self.assertIn(b"the Orvik CD was not found", err)
                self.assertNothingInstalled()

    def test_usage_errors_exit_with_1_and_install_nothing(self):
        self.insert_cd("d")
        for args, error in ((["--bogus"], b"unknown switch '--bogus'"),
                            (["--language", "x"], b"--language must be e, d, f or i")):
            with self.subTest(args=args):
                status, out, err = self.run_install(*args)
                self.assertEqual((status, out), (1, b""))
                self.assertTrue(err.startswith(b"orvik-install: " + error), err)
                self.assertIn(b"Usage: orvik-install", err)
                self.assertNothingInstalled()


if __name__ == "__main__":
    unittest.main()
