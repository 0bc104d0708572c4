"""The CD image as it will be pressed: the ISO of the cd-image target,
unpacked and mapped as a CD-ROM drive, holds what autorun needs at its root
and installs the real stand-in program. Builds nothing: ORVIK_E2E_CD_IMAGE
names the image (build/<preset>/orvik8.iso). An author's own folder is
imaged by scripts/make-cd-image.sh with the programs of ORVIK_E2E_SETUP_EXE's
build and the native orvik-cdcheck (ORVIK_E2E_CDCHECK)."""

import configparser
import os
import shutil
import subprocess
import tempfile
import unittest
from pathlib import Path

from pe_image import MACHINE_AMD64, MACHINE_I386, pe_machine
from wine_env import IDOK, HarnessError, WineTestCase, message_lines, read_bytes, read_shell_link

VOLUME_LABEL = "ORVIK8"
REPO = Path(__file__).resolve().parents[2]
MAKE_IMAGE = REPO / "scripts" / "make-cd-image.sh"


def xorriso(*args):
    done = subprocess.run(["xorriso", *args], stdin=subprocess.DEVNULL,
                          stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=120)
    text = done.stdout.decode(errors="replace")
    if done.returncode != 0:
        raise HarnessError(f"xorriso {' '.join(args)} failed:\n{text}")
    return text


def make_writable(folder):
    """The unpacked CD keeps the read-only modes of the image, as a pressed
    disc does; its folders must become writable again to be removed."""
    for here, _, _ in os.walk(folder):
        os.chmod(here, 0o755)


def is_pe(data):
    return data[:2] == b"MZ" and pe_machine(data) in (MACHINE_AMD64, MACHINE_I386)


class CdImageTest(WineTestCase):
    @classmethod
    def setUpClass(cls):
        image = os.environ.get("ORVIK_E2E_CD_IMAGE")
        if not image:
            raise unittest.SkipTest("ORVIK_E2E_CD_IMAGE is not set: build the target "
                                    "cd-image and pass its orvik8.iso")
        if not shutil.which("xorriso"):
            raise unittest.SkipTest("xorriso is not installed")
        cls.image = Path(image)
        if not cls.image.is_file():
            raise HarnessError(f"{cls.image} does not exist: build the target cd-image")
        super().setUpClass()
        cls.info = xorriso("-indev", str(cls.image), "-pvd_info", "-toc")
        cls.unpacked = cls.wine.root / "cd-image"
        xorriso("-osirrox", "on", "-indev", str(cls.image), "-extract", "/", str(cls.unpacked))
        cls.addClassCleanup(make_writable, cls.unpacked)

    def test_root_holds_setup_the_installer_and_autorun(self):
        root = self.unpacked
        for name in ("setup.exe", "orvik-install.exe"):
            self.assertTrue(is_pe((root / name).read_bytes()), name)
        autorun = configparser.ConfigParser()
        autorun.read_string((root / "autorun.inf").read_text(encoding="ascii"))
        self.assertEqual((autorun["autorun"].get("open"), autorun["autorun"].get("icon")),
                         ("setup.exe", "setup.exe"))
        # Windows shows the label and reads the long names from Joliet.
        self.assertRegex(self.info, rf"(?m)^Volume Id\s*: {VOLUME_LABEL}\s*$")
        self.assertRegex(self.info, r"(?m)^ISO offers\s*:.*\bJoliet\b")

    def test_setup_from_the_cd_installs_the_stand_in_program(self):
        cd = self.wine.insert("d", self.unpacked)
        self.addCleanup(make_writable, cd)
        # As autorun starts it: from the CD's root, with the root current.
        run = self.wine.drive(["wait-dialog", f"click-async {IDOK}", "wait-msgbox",
                               "press-ok", "wait-exit"],
                              cwd="D:\\", program=r"D:\setup.exe")
        self.assertEqual(read_bytes(run.of("wait-msgbox")[0]),
                         message_lines(cd / "install" / "einstall.dat", 13, 1))
        self.assertEqual(run.exit_status, 0)

        installed = self.wine.c_path("orvik8/orvik8.exe")
        self.assertEqual(installed.read_bytes(), (cd / "prog" / "orvik8.exe").read_bytes())
        self.assertTrue(is_pe(installed.read_bytes()), "orvik8.exe is not a program")
        target, working_dir, _ = read_shell_link(
            (self.wine.desktop() / "orvik8.lnk").read_bytes())
        self.assertEqual((target, working_dir), ("c:\\orvik8\\orvik8.exe", "c:\\orvik8"))

        # The shortcut's program starts and says what it is.
        started = self.wine.drive([("wait-window", "stands in"), "close-window 1",
                                   "wait-exit"],
                                  cwd="c:\\orvik8", program=target)
        self.assertEqual(started.of("wait-window")[0]["caption"], "Orvik 8.0")
        self.assertEqual(started.exit_status, 0)


def folder_snapshot(folder):
    return {path.relative_to(folder): (path.read_bytes(), path.stat().st_mtime_ns)
            for path in sorted(folder.rglob("*")) if path.is_file()}


class AuthorImageTest(unittest.TestCase):
    """An author's folder: imaged with the author's label and publisher and the
    author's own program, the folder untouched; a folder with errors refused."""

    @classmethod
    def setUpClass(cls):
        setup = os.environ.get("ORVIK_E2E_SETUP_EXE")
        if not setup or not shutil.which("xorriso"):
            raise unittest.SkipTest("needs ORVIK_E2E_SETUP_EXE and xorriso")
        cls.programs = ["--setup", setup,
                        "--installer", str(Path(setup).with_name("orvik-install.exe"))]
        cdcheck = os.environ.get("ORVIK_E2E_CDCHECK")
        if cdcheck:
            cls.programs += ["--cdcheck", cdcheck]

    def setUp(self):
        self.work = Path(tempfile.mkdtemp(prefix="orvik-author-"))
        self.addCleanup(shutil.rmtree, self.work)
        self.cd = self.work / "product"
        shutil.copytree(REPO / "examples" / "cd", self.cd)
        (self.cd / "prog" / "orvik8.exe").write_bytes(b"MZ the author's own program")
        self.iso = self.work / "out" / "product.iso"

    def make_image(self, *overrides, env=None):
        return subprocess.run(
            ["bash", str(MAKE_IMAGE), "--cd", str(self.cd), "--label", "PRODUCT_2",
             "--publisher", "Example Press Ltd", "--title", "Product 2",
             "--out", str(self.iso), *self.programs, *overrides],
            stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
            timeout=120, text=True, env=env)

    def test_image_carries_the_authors_label_publisher_and_program(self):
        before = folder_snapshot(self.cd)
        made = self.make_image()
        self.assertEqual(made.returncode, 0, made.stdout)
        self.assertEqual(folder_snapshot(self.cd), before, "the author's folder changed")

        info = xorriso("-indev", str(self.iso), "-pvd_info")
        self.assertRegex(info, r"(?m)^Volume Id\s*: PRODUCT_2\s*$")
        # ISO 9660 keeps the publisher in upper case.
        self.assertRegex(info, r"(?m)^Publisher Id\s*: EXAMPLE PRESS LTD\s*$")
        unpacked = self.work / "unpacked"
        xorriso("-osirrox", "on", "-indev", str(self.iso), "-extract", "/", str(unpacked))
        self.addCleanup(make_writable, unpacked)
        self.assertEqual((unpacked / "prog" / "orvik8.exe").read_bytes(),
                         b"MZ the author's own program")
        self.assertTrue(is_pe((unpacked / "setup.exe").read_bytes()))
        autorun = configparser.ConfigParser()
        autorun.read_string((unpacked / "autorun.inf").read_text(encoding="ascii"))
        self.assertEqual(autorun["autorun"].get("label"), "Product 2")

    def test_folder_with_errors_gets_no_image(self):
        (self.cd / "data" / "check.dat").unlink()  # a copy list names it
        made = self.make_image()
        self.assertNotEqual(made.returncode, 0, made.stdout)
        self.assertIn("no image made", made.stdout)
        self.assertFalse(self.iso.exists())
        self.assertFalse(self.iso.with_name("product.iso.partial").exists())

    def test_text_that_is_no_ascii_gets_no_image_in_any_locale(self):
        utf8 = dict(os.environ, LC_ALL="C.UTF-8")
        for option, text in (("--publisher", "Éditions Birka"), ("--title", "Orvik für alle"),
                             ("--label", "ORVIK_Ä"), ("--title", "two\nlines")):
            made = self.make_image(option, text, env=utf8)
            self.assertNotEqual(made.returncode, 0, made.stdout)
            self.assertIn(option[2:], made.stdout)
            self.assertFalse(self.iso.exists())


if __name__ == "__main__":
    unittest.main()
