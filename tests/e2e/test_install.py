"""OK: the installation from the CD, the outcome's message box owned by the
dialog, the log record and the desktop shortcut; and Cancel, which installs
nothing."""

import unittest

from wine_env import (IDC_DEST_DIR, IDCANCEL, IDOK, LANGUAGE_BUTTONS, SAMPLE_CD,
                      WineTestCase, lookup, message_lines, read_bytes, read_shell_link)

ENTERING = b"Entering dlg"
EXITED = b"Exited install_dlg"
PRODUCT_FILES = {"orvik8.exe": "prog/orvik8.exe", "orvik.dll": "prog/orvik.dll",
                 "orvik.dat": "data/orvik.dat", "fonts.dat": "data/fonts.dat"}
HELP_FILES = {"e": "lang/en/help.txt", "d": "lang/de/hilfe.txt"}


def settings(cd, name, language, drive=None):
    """A settings file of the CD as the installation leaves it: the language
    line patched, startup.mar with the CD-drive line."""
    data = (cd / "prog" / name).read_bytes()
    assert b"51 language e" in data
    data = data.replace(b"51 language e", b"51 language " + language.encode(), 1)
    return data + (b"18 cd drive %c\n" % ord(drive) if drive else b"")


class InstallChecks:
    """What a successful installation leaves behind; shared with the tests
    of the unattended installer."""

    def assertInstalled(self, cd, language, drive, folder="c:\\orvik8", also=()):
        """Exactly the copied entries of the copy list (and the names in
        `also`) are in the folder, byte for byte, the two settings files
        patched."""
        target = self.wine.c_path(folder)
        help_source = HELP_FILES[language]
        copied = {**PRODUCT_FILES, help_source.split("/")[-1]: help_source}
        self.assertEqual(sorted(p.name for p in target.iterdir()),
                         sorted([*copied, "startup.mar", "factory.mar", *also]))
        for name, source in copied.items():
            self.assertEqual((target / name).read_bytes(), (cd / source).read_bytes(), name)
        self.assertEqual((target / "startup.mar").read_bytes(),
                         settings(cd, "startup.mar", language, drive))
        self.assertEqual((target / "factory.mar").read_bytes(),
                         settings(cd, "factory.mar", language))

    def assertShortcut(self, folder="c:\\orvik8"):
        self.assertEqual([p.name for p in self.wine.desktop().glob("*.lnk")], ["orvik8.lnk"])
        link = self.wine.desktop() / "orvik8.lnk"
        self.assertEqual(read_shell_link(link.read_bytes()),
                         (folder + "\\orvik8.exe", folder, "Orvik 8.0 (Ostmarrow)"))


class InstallTest(InstallChecks, WineTestCase):
    def install(self, language="e", folder=None, cwd="D:\\", program=r"D:\setup.exe"):
        script = ["wait-dialog"]
        if language != "e":
            script.append(f"click {LANGUAGE_BUTTONS[language]}")
        if folder is not None:
            script.append(("set", IDC_DEST_DIR, folder))
        script += [f"click-async {IDOK}", "wait-msgbox", "windows", "press-ok",
                   "wait-exit"]
        run = self.wine.drive(script, cwd=cwd, program=program)
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

        self.assertInstalled(cd, "d", "D")
        self.assertShortcut()

        # The engine's success text is looked up after it made c:\orvik8
        # current: no dinstall.dat there, so on the CD.
        self.assertLog([ENTERING, lookup(r"D:\install\einstall.dat", True),
                        lookup(r"D:\install\dinstall.dat", True),
                        lookup(r"D:\install\dinstall.dat", True),
                        b"rval = 0", success[:-1], b"", EXITED])

    def test_default_english_install_replaces_the_data_files(self):
        cd = self.insert_cd("d")
        # Data files of an earlier installation go; the destination folder
        # exists already, which is no failure.
        target = self.wine.c_path("orvik8")
        target.mkdir()
        for name in ("astdata.ast", "astdata.lim"):
            (target / name).write_bytes(b"old data\r\n")
        # Started in D:\install: the introduction comes from the current
        # folder, so the one lookup in the log is the success line's.
        box = self.install(cwd="D:\\install")
        success = message_lines(cd / "install" / "einstall.dat", 13, 1)
        self.assertEqual(read_bytes(box), success)
        self.assertInstalled(cd, "e", "D")
        self.assertShortcut()
        self.assertLog([ENTERING, lookup(r"D:\install\einstall.dat", True),
                        b"rval = 0", success[:-1], b"", EXITED])

    def test_cd_found_by_the_search_names_its_drive_in_lower_case(self):
        # Started from the fixed disk c:, the CD in the CD-ROM drive f:.
        cd = self.insert_cd("f")
        box = self.install(cwd="c:\\", program=None)
        success = message_lines(cd / "install" / "einstall.dat", 13, 1)
        self.assertEqual(read_bytes(box), success)
        self.assertInstalled(cd, "e", "f")
        self.assertShortcut()
        self.assertLog([ENTERING, lookup(r"C:\install\einstall.dat", False),
                        lookup(r"C:\install\install.dat", False, legacy=True),
                        lookup(r"d:\install\einstall.dat", False),
                        lookup(r"d:\install\install.dat", False, legacy=True),
                        lookup(r"f:\install\einstall.dat", True),
                        lookup(r"f:\install\einstall.dat", True),
                        b"rval = 0", success[:-1], b"", EXITED])

    def test_keep_existing_settings_file_is_left_as_it_is(self):
        cd = self.insert_cd("d")
        target = self.wine.c_path("orvik8")
        target.mkdir()
        (target / "factory.mar").write_bytes(b"51 language i\r\nown settings\r\n")
        (target / "startup.mar").write_bytes(b"51 language i\r\n")
        self.install("d")
        self.assertEqual((target / "factory.mar").read_bytes(),
                         b"51 language i\r\nown settings\r\n")
        # startup.mar is no keep-existing entry: overwritten.
        self.assertEqual((target / "startup.mar").read_bytes(),
                         settings(cd, "startup.mar", "d", "D"))
        self.assertTrue((target / "orvik.dll").is_file())

    def test_missing_check_only_file_stops_the_copy_there(self):
        # check.dat stands at position 6: never copied, but it must exist.
        cd = self.insert_cd("d", remove=["data/check.dat"])
        box = self.install()
        failure = message_lines(cd / "install" / "einstall.dat", 9, 3)
        self.assertEqual(read_bytes(box), failure)
        # Positions 4 and 5 were copied before; nothing after position 6.
        self.assertEqual(sorted(p.name for p in self.wine.c_path("orvik8").iterdir()),
                         ["orvik8.exe", "startup.mar"])
        self.assertEqual(list(self.wine.desktop().glob("*.lnk")), [])
        # A failure leaves the current folder D:\ : the failure text is
        # looked up on the CD like the introduction.
        found = lookup(r"D:\install\einstall.dat", True)
        self.assertLog([ENTERING, found, found,
                        b"rval = -3", *failure.split(b"\n")[:-1], b"", EXITED])

    def test_cancel_after_choices_installs_nothing(self):
        self.insert_cd("d")
        run = self.wine.drive(["wait-dialog", f"click {LANGUAGE_BUTTONS['d']}",
                               ("set", IDC_DEST_DIR, "c:\\orvik cancelled"),
                               f"click {IDCANCEL}", "wait-exit"],
                              cwd="D:\\", program=r"D:\setup.exe")
        self.assertEqual(run.exit_status, 0)
        self.assertEqual(sorted(p.name for p in self.wine.c_path().glob("orvik*")), [])
        self.assertEqual(list(self.wine.desktop().glob("*.lnk")), [])
        self.assertLog([ENTERING, lookup(r"D:\install\einstall.dat", True),
                        lookup(r"D:\install\dinstall.dat", True), EXITED])

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
