"""What makes the programs well-behaved installers, shown on the real
programs: how setup.exe presents itself to Windows (manifest, version
resource, icon), that neither program finds a DLL planted beside it, that
no log is written through a link, that probing drives without a readable
disc brings up no prompt, and that a destination folder with letters of
Windows-1252 gets the files and the shortcut."""

import contextlib
import os
import re
import shutil
import struct
import subprocess
import unittest
import xml.etree.ElementTree as ElementTree
from pathlib import Path

from pe_image import (MACHINE_AMD64, MACHINE_I386, RT_GROUP_ICON, RT_MANIFEST, RT_VERSION,
                      pe_machine, pe_resources)
from wine_env import (HERE, IDC_DEST_DIR, IDC_LANG_DEUTSCH, IDC_MESSAGE, IDCANCEL, IDOK,
                      WineTestCase, lookup, message_lines, read_bytes, read_shell_link)


def setup_exe():
    path = os.environ.get("ORVIK_E2E_SETUP_EXE")
    if not path:
        raise unittest.SkipTest("ORVIK_E2E_SETUP_EXE is not set")
    return Path(path)


# --- the image: manifest, version resource, icon ------------------------------

ASM_V1 = "{urn:schemas-microsoft-com:asm.v1}"
ASM_V3 = "{urn:schemas-microsoft-com:asm.v3}"
COMPATIBILITY = "{urn:schemas-microsoft-com:compatibility.v1}"
WINDOWS_SETTINGS_2005 = "{http://schemas.microsoft.com/SMI/2005/WindowsSettings}"
SUPPORTED_OS = {
    "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",  # Windows 7
    "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",  # Windows 8
    "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",  # Windows 8.1
    "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}",  # Windows 10 and 11
}
CREATEPROCESS_MANIFEST_RESOURCE_ID = 1
VS_FFI_SIGNATURE, VFT_APP = 0xFEEF04BD, 1


def _align4(offset):
    return (offset + 3) & ~3


def version_node(data, pos=0):
    """One node of a version resource: (key, value, children, end). Text
    values (type 1) are decoded; their length counts 16-bit units."""
    length, value_length, kind = struct.unpack_from("<HHH", data, pos)
    end = pos + length
    key_end = pos + 6
    while data[key_end:key_end + 2] != b"\0\0":
        key_end += 2
    key = data[pos + 6:key_end].decode("utf-16-le")
    cursor = _align4(key_end + 2)
    size = value_length * 2 if kind == 1 else value_length
    value = data[cursor:cursor + size]
    if kind == 1:
        value = value.decode("utf-16-le").rstrip("\0")
    cursor = _align4(cursor + size)
    children = {}
    while cursor < end:
        child_key, child_value, grandchildren, child_end = version_node(data, cursor)
        children[child_key] = (child_value, grandchildren)
        cursor = _align4(child_end)
    return key, value, children, end


class ImageIdentityTest(unittest.TestCase):
    """What Windows reads from setup.exe before and while it starts it."""

    @classmethod
    def setUpClass(cls):
        cls.resources = pe_resources(setup_exe().read_bytes())

    def only(self, kind):
        found = {name: data for (k, name, _), data in self.resources.items() if k == kind}
        self.assertEqual(len(found), 1, f"resources of type {kind}: {sorted(found)}")
        return next(iter(found.items()))

    def test_manifest_keeps_the_invoker_rights_and_asks_for_the_current_look(self):
        # Only the manifest with id 1 counts for a program.
        name, data = self.only(RT_MANIFEST)
        self.assertEqual(name, CREATEPROCESS_MANIFEST_RESOURCE_ID)
        root = ElementTree.fromstring(data)
        self.assertEqual(root.tag, ASM_V1 + "assembly")

        # Without asInvoker, a program named setup.exe is elevated.
        levels = root.findall(f".//{ASM_V3}requestedExecutionLevel")
        self.assertEqual([(e.get("level"), e.get("uiAccess")) for e in levels],
                         [("asInvoker", "false")])

        dependencies = [e.attrib for e in root.findall(
            f"{ASM_V1}dependency/{ASM_V1}dependentAssembly/{ASM_V1}assemblyIdentity")]
        self.assertEqual(dependencies, [{
            "type": "win32", "name": "Microsoft.Windows.Common-Controls",
            "version": "6.0.0.0", "processorArchitecture": "*",
            "publicKeyToken": "6595b64144ccf1df", "language": "*"}])

        supported = [e.get("Id") for e in root.findall(
            f"{COMPATIBILITY}compatibility/{COMPATIBILITY}application/{COMPATIBILITY}supportedOS")]
        self.assertEqual(sorted(supported), sorted(SUPPORTED_OS))

        dpi = root.findall(f"{ASM_V3}application/{ASM_V3}windowsSettings/"
                           f"{WINDOWS_SETTINGS_2005}dpiAware")
        self.assertEqual([e.text.strip() for e in dpi], ["true"])

        # The program is single-byte by design: the ANSI code page must stay
        # the system's, so no UTF-8 code page may be asked for.
        self.assertEqual([e.tag for e in root.iter() if e.tag.endswith("activeCodePage")], [])

    def test_version_resource_names_the_product_and_its_maker(self):
        name, data = self.only(RT_VERSION)
        self.assertEqual(name, 1)
        key, fixed, children, _ = version_node(data)
        self.assertEqual(key, "VS_VERSION_INFO")
        signature, _, file_ms, file_ls, product_ms, product_ls = struct.unpack_from("<6I", fixed)
        file_type, = struct.unpack_from("<I", fixed, 36)
        self.assertEqual(signature, VS_FFI_SIGNATURE)
        self.assertEqual((file_ms >> 16, file_ms & 0xFFFF, file_ls >> 16, file_ls & 0xFFFF),
                         (8, 0, 0, 0))
        self.assertEqual((product_ms, product_ls), (file_ms, file_ls))
        self.assertEqual(file_type, VFT_APP)

        tables = children["StringFileInfo"][1]
        self.assertEqual(list(tables), ["040904E4"])
        strings = {k: v for k, (v, _) in tables["040904E4"][1].items()}
        self.assertEqual({k: strings.get(k) for k in (
            "CompanyName", "ProductName", "FileDescription", "FileVersion",
            "ProductVersion", "OriginalFilename")}, {
            "CompanyName": "Ostmarrow", "ProductName": "Orvik",
            "FileDescription": "Orvik Setup", "FileVersion": "8.0",
            "ProductVersion": "8.0", "OriginalFilename": "setup.exe"})
        # The shell shows the strings of the table the translation names.
        translation = children["VarFileInfo"][1]["Translation"][0]
        self.assertEqual(struct.unpack("<HH", translation), (0x409, 1252))

    def test_the_shell_shows_icon_128(self):
        groups = sorted(name for (kind, name, _) in self.resources if kind == RT_GROUP_ICON)
        self.assertEqual(groups[0], 128, "the shell shows the first icon group")


# --- DLLs planted beside the programs ------------------------------------------

# Names of system DLLs that the programs, or a DLL they load, load: their own
# imports, the ones seen in Wine's load trace of both programs (shcore.dll
# among them, which Wine takes from beside an importing program before any
# of its code runs), the ones Windows loads by bare name for a dialog, the
# desktop folder and a shortcut, and the usual targets of planting.
PLANTED_NAMES = [
    "version.dll", "uxtheme.dll", "comctl32.dll", "shell32.dll", "ole32.dll",
    "dwmapi.dll", "cryptbase.dll", "propsys.dll", "profapi.dll", "msvcrt.dll",
    "user32.dll", "gdi32.dll", "imm32.dll", "advapi32.dll", "rpcrt4.dll",
    "combase.dll", "shlwapi.dll", "msimg32.dll", "oleaut32.dll", "shcore.dll",
    "oleacc.dll", "userenv.dll", "sspicli.dll", "msctf.dll", "windows.storage.dll",
    "kernel.appcore.dll", "wldp.dll",
]
COMPILERS = {MACHINE_AMD64: "x86_64-w64-mingw32-gcc", MACHINE_I386: "i686-w64-mingw32-gcc"}


@contextlib.contextmanager
def load_trace(wine):
    """Wine's trace of loaded modules on the driven programs' stderr."""
    saved = wine.env["WINEDEBUG"]
    wine.env["WINEDEBUG"] = "+loaddll"
    try:
        yield
    finally:
        wine.env["WINEDEBUG"] = saved


# While it maps a program's imports, before any code of the program runs,
# Wine looks for the imports of its own DLLs beside the program first; it
# then names the module after the planted file but maps its builtin. That
# is Wine's own import graph, which no code of the programs can change (on
# Windows their imports are known DLLs, whose imports come from the system
# folder). A module found beside the program later was looked up by bare
# name after start-up, which on Windows would run the planted file.
FOUND_WHILE_IMPORTING = {
    "orvik-install.exe": {"msvcrt.dll", "advapi32.dll", "version.dll", "user32.dll",
                          "gdi32.dll", "imm32.dll", "rpcrt4.dll", "combase.dll", "ole32.dll"},
}
# Wine's comctl32, which setup.exe imports, loads uxtheme.dll so.
FOUND_WHILE_IMPORTING["setup.exe"] = FOUND_WHILE_IMPORTING["orvik-install.exe"] | {"uxtheme.dll"}


def found_after_start(folder, program, trace):
    """Modules that Wine's load trace shows were found in c:\\<folder>,
    other than the program and those found while importing."""
    pattern = re.compile(rf'Loaded L"c:\\\\{folder}\\\\([^"]+)" at \w+: \w+', re.I)
    found = {name.lower() for name in pattern.findall(trace)}
    return sorted(found - FOUND_WHILE_IMPORTING[program] - {program})


class PlantedDllTest(WineTestCase):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        machine = pe_machine(cls.wine.setup_exe.read_bytes())
        compiler = shutil.which(COMPILERS.get(machine, ""))
        if not compiler:
            raise unittest.SkipTest(f"no MinGW C compiler for machine {machine:#x}")
        cls.planted_dll = cls.wine.root / "planted.dll"
        subprocess.run([compiler, "-shared", "-Os", "-s", "-o", str(cls.planted_dll),
                        str(HERE / "planted_dll.c")], check=True)

    def plant(self, folder, names, program=None):
        """c:\\<folder> with the program and the planted DLL under each name."""
        path = self.wine.c_path(folder)
        path.mkdir()
        self.addCleanup(shutil.rmtree, path, True)
        if program:
            shutil.copy2(program, path / program.name)
        for name in names:
            shutil.copy2(self.planted_dll, path / name)
        return path

    @staticmethod
    def marks(path):
        return sorted(p.name[:-len(".loaded")] for p in path.glob("*.loaded"))

    def test_planted_dll_leaves_its_mark_when_a_program_loads_it(self):
        # Without this, a DLL that never marks would pass the tests below.
        path = self.plant("control", ["control.dll"])
        status, _, err = self.wine.run_console([r"c:\control\control.dll,Touch"],
                                               program="rundll32.exe")
        self.assertEqual((status, self.marks(path)), (0, ["control.dll"]), err)

    def test_no_code_runs_from_system_dll_names_beside_setup(self):
        # Through the whole run: the dialog, a language, the copy, the
        # shortcut and the message box, each of which loads DLLs lazily.
        cd = self.insert_cd("d")
        path = self.plant("planted", PLANTED_NAMES, self.wine.setup_exe)
        with load_trace(self.wine):
            run = self.wine.drive(["wait-dialog", f"click {IDC_LANG_DEUTSCH}",
                                   f"read {IDC_MESSAGE}", f"click-async {IDOK}",
                                   "wait-msgbox", "press-ok", "wait-exit"],
                                  program=r"c:\planted\setup.exe", cwd=r"c:\planted")
        self.assertEqual(read_bytes(run.of("read")[0]),
                         message_lines(cd / "install" / "dinstall.dat", 0, 3))
        self.assertEqual(read_bytes(run.of("wait-msgbox")[0]),
                         message_lines(cd / "install" / "dinstall.dat", 13, 1))
        self.assertEqual(run.exit_status, 0)
        self.assertTrue(list(self.wine.desktop().glob("*.lnk")))
        self.assertEqual(self.marks(path), [])
        self.assertEqual(found_after_start("planted", "setup.exe", run.stderr), [])

    def test_no_code_runs_from_system_dll_names_beside_orvik_install(self):
        cd = self.insert_cd("d")
        path = self.plant("planted", PLANTED_NAMES, self.wine.install_exe)
        with load_trace(self.wine):
            status, out, err = self.wine.run_console(
                ["--source", "D:", "--language", "d"], cwd=r"c:\planted",
                program=r"c:\planted\orvik-install.exe")
        self.assertEqual((status, out), (0, message_lines(cd / "install" / "dinstall.dat", 13, 1)))
        self.assertTrue(list(self.wine.desktop().glob("*.lnk")))
        self.assertEqual(self.marks(path), [])
        self.assertEqual(found_after_start("planted", "orvik-install.exe", err.decode()), [])


# --- the logs never written through a link ------------------------------------

VICTIM = b"another user's file\r\n"
ENTERING = b"Entering dlg"
EXITED = b"Exited install_dlg"


class LogThroughLinkTest(WineTestCase):
    """A name planted where a program writes its log: the log replaces the
    name with a file of its own, and what the name led to stays as it was."""

    def plant_victim(self):
        victim = self.scratch / "victim.txt"
        victim.write_bytes(VICTIM)
        return victim

    def plant(self, log, trap):
        """Puts trap at the host path log; returns the victim's path."""
        victim = self.plant_victim()
        log.unlink(missing_ok=True)
        if trap == "symbolic link":
            log.symlink_to(victim)
        elif trap == "dangling link":
            victim.unlink()
            log.symlink_to(victim)
        else:
            os.link(victim, log)
        return victim

    def assertUntouched(self, victim, trap):
        if trap == "dangling link":
            self.assertFalse(victim.exists(), "the log created the link's target")
        else:
            self.assertEqual(victim.read_bytes(), VICTIM)

    def assertOwnFile(self, log):
        self.assertFalse(log.is_symlink())
        self.assertEqual(log.stat().st_nlink, 1)

    def test_setup_replaces_a_link_at_its_debug_log(self):
        self.insert_cd("d")
        for trap in ("symbolic link", "dangling link", "hard link"):
            with self.subTest(trap):
                log = self.wine.debug_log_path
                victim = self.plant(log, trap)
                run = self.wine.drive(["wait-dialog", f"click {IDCANCEL}", "wait-exit"],
                                      cwd="D:\\", program=r"D:\setup.exe")
                self.assertEqual(run.exit_status, 0)
                self.assertUntouched(victim, trap)
                self.assertOwnFile(log)
                self.assertLog([ENTERING, lookup(r"D:\install\einstall.dat", True), EXITED])

    def test_orvik_install_replaces_a_link_at_its_log(self):
        self.insert_cd("d")
        log = self.wine.c_path("install.log")
        self.addCleanup(log.unlink, True)
        victim = self.plant(log, "symbolic link")
        status, _, err = self.wine.run_console(
            ["--source", "D:", "--no-shortcut", "--log", r"c:\install.log"], cwd="D:\\")
        self.assertEqual(status, 0, err)
        self.assertUntouched(victim, "symbolic link")
        self.assertOwnFile(log)
        found = lookup(r"D:\install\einstall.dat", True)
        installed = re.compile(rb"Installed \S+ \(\d+ bytes, sha256 [0-9a-f]{64}\)")
        self.assertLog([re.compile(rb"==== orvik-install 8\.0, .+"), ENTERING, found, found,
                        b"rval = 0", re.compile(rb".+"), b"", *[installed] * 8, EXITED,
                        b"==== exit 0 ERROR_SUCCESS"], path=log)


# --- probing drives without a readable disc -----------------------------------

def not_found(letter):
    return [lookup(f"{letter}:\\install\\einstall.dat", False),
            lookup(f"{letter}:\\install\\install.dat", False, legacy=True)]


class ProbingTest(WineTestCase):
    """d: is a CD-ROM drive without a disc, f: one whose disc cannot be
    read, g: holds the CD; e: is a fixed disk and never tried."""

    def unreadable_launcher(self, folder):
        """The command under which Wine cannot read folder (mode 000). Root
        reads any folder, so as root Wine runs without the capabilities that
        let it; the folder is then tried the way Wine will see it."""
        os.chmod(folder, 0)
        self.addCleanup(os.chmod, folder, 0o755)
        launcher = ()
        if os.geteuid() == 0:
            setpriv = shutil.which("setpriv")
            if not setpriv:
                self.skipTest("setpriv (util-linux) is needed to read as root without "
                              "the override of file permissions")
            launcher = (setpriv, "--bounding-set", "-dac_override,-dac_read_search", "--")
        probe = subprocess.run([*launcher, "ls", str(folder)], stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)
        if probe.returncode == 0:
            self.skipTest(f"{folder} stays readable")
        return launcher

    def test_drives_without_a_readable_disc_are_passed_over_without_a_prompt(self):
        cd = self.insert_cd("g")
        unreadable = self.wine.insert("f", cd)
        launcher = self.unreadable_launcher(unreadable)
        # -q names a drive that does not exist: the search must find the CD.
        run = self.wine.drive(["wait-dialog", f"read {IDC_MESSAGE}", "windows",
                               f"click {IDCANCEL}", "wait-exit"],
                              args=["-q"], cwd="c:\\", launcher=launcher)
        self.assertEqual(read_bytes(run.of("read")[0]),
                         message_lines(cd / "install" / "einstall.dat", 0, 3))
        self.assertEqual([(w["class"], w["is_dialog"]) for w in run.of("windows")[0]["windows"]],
                         [("#32770", True)])
        self.assertEqual(run.exit_status, 0)
        self.assertLog([ENTERING, *not_found("q"), *not_found("d"), *not_found("f"),
                        lookup(r"g:\install\einstall.dat", True), EXITED])


# --- a destination folder with letters of Windows-1252 --------------------------

SLDF_UNICODE = 0x80


class NonAsciiDestinationTest(WineTestCase):
    def test_folder_with_umlauts_gets_the_files_and_the_shortcut(self):
        cd = self.insert_cd("d")
        self.wine.c_path("Programme").mkdir(exist_ok=True)
        self.addCleanup(shutil.rmtree, self.wine.c_path("Programme"), True)
        folder = "c:\\Programme\\M\u00fcller \u00c4"
        run = self.wine.drive(["wait-dialog", ("set", IDC_DEST_DIR, folder),
                               f"read {IDC_DEST_DIR}", f"click-async {IDOK}", "wait-msgbox",
                               "press-ok", "wait-exit"],
                              cwd="D:\\", program=r"D:\setup.exe")
        # setup.exe reads the edit in its ANSI code page: one byte a letter.
        self.assertEqual(read_bytes(run.of("read")[0]), b"c:\\Programme\\M\xfcller \xc4")
        self.assertEqual(read_bytes(run.of("wait-msgbox")[0]),
                         message_lines(cd / "install" / "einstall.dat", 13, 1))

        # Wine names the host folder in UTF-8.
        programme = os.fsencode(self.wine.c_path("Programme"))
        self.assertEqual(os.listdir(programme), ["M\u00fcller \u00c4".encode("utf-8")])
        target = self.wine.c_path("Programme") / "M\u00fcller \u00c4"
        self.assertEqual((target / "orvik8.exe").read_bytes(),
                         (cd / "prog" / "orvik8.exe").read_bytes())
        self.assertTrue((target / "startup.mar").read_bytes().endswith(b"18 cd drive D\n"))

        link = (self.wine.desktop() / "orvik8.lnk").read_bytes()
        target_path, working_dir, _ = read_shell_link(link)
        self.assertEqual((target_path, working_dir), (folder + "\\orvik8.exe", folder))
        # The working folder above was read as UTF-16 (IsUnicode); the local
        # base path has only an ANSI form, which must be Windows-1252.
        flags, = struct.unpack_from("<I", link, 0x14)
        self.assertTrue(flags & SLDF_UNICODE)
        self.assertIn(b":\\Programme\\M\xfcller \xc4\\orvik8.exe\0", link)


if __name__ == "__main__":
    unittest.main()
