"""OK: the installation from the CD, the outcome's message box owned by the
dialog, the log record and the desktop shortcut."""

import unittest

from wine_env import (IDC_DEST_DIR, IDOK, LANGUAGE_BUTTONS, SAMPLE_CD, WineTestCase,
                      lookup, message_lines, read_bytes, read_shell_link)

ENTERING = b"Entering dlg"
EXITED = b"Exited install_dlg"
PRODUCT_FILES = {"orvik8.exe": "prog/orvik8.exe", "orvik.dll": "prog/orvik.dll",
                 "orvik.dat": "data/orvik.dat", "fonts.dat": "data/fonts.dat"}


class InstallTest(WineTestCase):
    def install(self, language="e", folder=None, cwd="D:\\"):
        script = ["wait-dialog"]
        if language != "e":
            script.append(f"click {LANGUAGE_BUTTONS[language]}")
        if folder is not None:
            script.append(("set", IDC_DEST_DIR, folder))
        script += [f"click-async {IDOK}", "wait-msgbox", "windows", "press-ok",
                   "wait-exit"]
        run = self.wine.drive(script, cwd=cwd, program=r"D:\setup.exe")
        box = run.of("wait-msgbox")[0]
        self.assertEqual(box["caption"], "Orvik Setup")
        self.assertEqual(box["buttons"], [IDOK])
        windows = run.of("windows")[0]["windows"]
        self.assertEqual(sorted((w["is_dialog"], w["owned_by_dialog"]) for w in windows),
                         [(False, True), (True, False)], windows)
        self.assertEqual(run.exit_status, 0)
        return box

    def test_install_in_german_copies_patches_and_makes_the_shortcut(self):
        cd = self.insert_cd("d")
        box = self.install("d")
        success = message_lines(cd / "install" / "dinstall.dat", 13, 1)
        self.assertEqual(read_bytes(box), success)

        target = self.wine.c_path("orvik8")
        self.assertEqual(sorted(p.name for p in target.iterdir()),
                         sorted([*PRODUCT_FILES, "startup.mar", "factory.mar", "hilfe.txt"]))
        for name, source in PRODUCT_FILES.items():
            self.assertEqual((target / name).read_bytes(), (cd / source).read_bytes(), name)
        startup = (cd / "prog" / "startup.mar").read_bytes()
        self.assertEqual((target / "startup.mar").read_bytes(),
                         startup.replace(b"51 language e", b"51 language d")
                         + b"18 cd drive D\n")
        self.assertEqual((target / "factory.mar").read_bytes(),
                         (cd / "prog" / "factory.mar").read_bytes()
                         .replace(b"51 language e", b"51 language d"))

        link = self.wine.desktop() / "orvik8.lnk"
        self.assertTrue(link.is_file(), list(self.wine.desktop().iterdir()))
        self.assertEqual(read_shell_link(link.read_bytes()),
                         ("c:\\orvik8\\orvik8.exe", "c:\\orvik8", "Orvik 8.0 (Ostmarrow)"))

        # The engine's success text is looked up after it made c:\orvik8
        # current: no dinstall.dat there, so on the CD.
        self.assertLog([ENTERING, lookup(r"D:\install\einstall.dat", True),
                        lookup(r"D:\install\dinstall.dat", True),
                        lookup(r"D:\install\dinstall.dat", True),
                        b"rval = 0", success[:-1], b"", EXITED])

    def test_typed_folder_is_where_everything_goes(self):
        self.insert_cd("d")
        box = self.install(folder="c:\\orvik test")
        self.assertTrue(box["text"].startswith("The installation of Orvik 8.0"), box)
        self.assertFalse(self.wine.c_path("orvik8").exists())
        self.assertTrue(self.wine.c_path("orvik test/orvik8.exe").is_file())
        target, working_dir, _ = read_shell_link(
            (self.wine.desktop() / "orvik8.lnk").read_bytes())
        self.assertEqual((target, working_dir),
                         ("c:\\orvik test\\orvik8.exe", "c:\\orvik test"))

    def test_missing_copy_list_fails_without_a_shortcut(self):
        cd = self.insert_cd("d", remove=[f"install/{k}opylist.dat" for k in "edfi"])
        box = self.install()
        failure = message_lines(cd / "install" / "einstall.dat", 6, 2)
        self.assertEqual(read_bytes(box), failure)
        self.assertEqual(list(self.wine.desktop().glob("*.lnk")), [])
        self.assertLog([ENTERING, lookup(r"D:\install\einstall.dat", True),
                        lookup(r"D:\install\einstall.dat", True),
                        b"rval = -2", *failure.split(b"\n")[:-1], b"", EXITED])

    def test_missing_destination_parent_fails(self):
        cd = self.insert_cd("d")
        box = self.install(folder="c:\\no such folder\\orvik8")
        self.assertEqual(read_bytes(box), message_lines(cd / "install" / "einstall.dat", 4, 2))
        self.assertFalse(self.wine.c_path("no such folder").exists())
        self.assertEqual(list(self.wine.desktop().glob("*.lnk")), [])

    def test_legacy_message_file_found_late_names_the_shortcut_version_7(self):
        # German has only the legacy message file, which its copy list checks.
        legacy = b"Legacy\r\n1\r\n2\r\n3\r\n4\r\n5\r\n6\r\n7\r\n8\r\n9\r\n10\r\n11\r\n12\r\nDone 7.\r\n"
        copy_list = (SAMPLE_CD / "install" / "dopylist.dat").read_bytes().replace(
            b"\\install\\dinstall.dat", b"\\install\\install.dat")
        self.insert_cd("d", remove=["install/dinstall.dat"],
                       files={"install/install.dat": legacy,
                              "install/dopylist.dat": copy_list})
        box = self.install("d")
        self.assertEqual(read_bytes(box), b"Done 7.\r\n")
        self.assertTrue(self.wine.c_path("orvik8/orvik8.exe").is_file())
        link = self.wine.desktop() / "orvik7.lnk"
        self.assertEqual([p.name for p in self.wine.desktop().glob("*.lnk")], ["orvik7.lnk"])
        _, working_dir, description = read_shell_link(link.read_bytes())
        self.assertEqual((working_dir, description), ("c:\\orvik8", "Orvik 7.0 (Ostmarrow)"))


if __name__ == "__main__":
    unittest.main()
