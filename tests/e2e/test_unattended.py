"""orvik-install.exe, the console installer, under Wine: its switches, the outcome text on standard output, the exit status of
each failure, and the same installation and log as setup.exe's; from a CD,
from a package folder on a machine without CD-ROM drives, and from the
package zip as winget unpacks it."""

import os
import re
import shutil
import subprocess
import struct
import time
import unittest
import zipfile

import test_hardening
import test_package
from pe_image import RT_VERSION, pe_machine, pe_resources
from test_install import InstallChecks, settings
from wine_env import (HERE, IDCANCEL, SAMPLE_CD, WINE_DIR, WineTestCase, lookup, message_lines,
                      read_shell_link)

ENTERING = b"Entering dlg"
EXITED = b"Exited install_dlg"
COMPILERS = {0x8664: "x86_64-w64-mingw32-gcc", 0x14C: "i686-w64-mingw32-gcc"}
PROBE = WINE_DIR + r"\win_probe.exe"
INSTALL_MUTEX = r"Global\Ostmarrow.Orvik.Installation"


def quote(arg):
    return f'"{arg}"' if not arg or " " in arg else arg


class UnattendedInstallChecks(InstallChecks):
    """orvik-install leaves its receipt and its uninstaller beside the product."""

    def assertInstalled(self, cd, language, drive, folder="c:\\orvik8"):
        super().assertInstalled(cd, language, drive, folder,
                                also=("orvik-receipt.txt", "orvik-uninstall.exe"))


class UnattendedCase(WineTestCase):
    # A display only for setup.exe's side of the installation mutex.
    needs_display = True

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        compiler = shutil.which(COMPILERS.get(pe_machine(cls.wine.setup_exe.read_bytes()), ""))
        if not compiler:
            raise unittest.SkipTest("no MinGW C compiler for the probe")
        subprocess.run([compiler, "-Os", "-s", "-o", str(cls.wine.c_path(PROBE)),
                        str(HERE / "win_probe.c")], check=True)

    def run_command_line(self, command_line, cwd="c:\\"):
        """Runs a Windows command line exactly as given; returns (exit
        status, stdout, stderr) with the whole 32-bit status."""
        status, out, err = self.wine.run_console(["run", command_line], cwd=cwd,
                                                 program=PROBE)
        match = re.search(rb"exit (\d+)\r?\n\Z", out)
        self.assertIsNotNone(match, (status, out, err))
        return int(match[1]), out[:match.start()], err

    def run_install(self, *args, cwd="D:\\", program=WINE_DIR + r"\orvik-install.exe"):
        return self.run_command_line(" ".join(quote(a) for a in (program, *args)), cwd)

    def probe(self, *args):
        status, out, _ = self.wine.run_console(list(args), program=PROBE)
        self.assertEqual(status, 0, args)
        return out.strip()

    def message(self, cd, first, count, language="e"):
        return message_lines(cd / "install" / f"{language}install.dat", first, count)

    def assertNothingInstalled(self):
        self.assertEqual([p.name for p in self.wine.c_path().glob("orvik*")], [])
        self.assertEqual(list(self.wine.desktop().glob("*.lnk")), [])


class UnattendedTest(UnattendedInstallChecks, UnattendedCase):
    def test_default_install_from_the_cd(self):
        cd = self.insert_cd("d")
        # A CD's install folder planted on C:, the drive a deployment tool
        # starts us from, naming a planted program: never the source.
        planted = self.wine.c_path("install")
        shutil.copytree(cd / "install", planted)
        self.addCleanup(shutil.rmtree, planted)
        self.addCleanup(shutil.rmtree, self.wine.c_path("prog"), True)
        self.wine.c_path("prog").mkdir()
        (self.wine.c_path("prog") / "planted.dll").write_bytes(b"planted")
        copy_list = (planted / "eopylist.dat").read_bytes()
        (planted / "eopylist.dat").write_bytes(copy_list.replace(b"\\orvik.dll", b"\\planted.dll"))
        before = {p.name for p in self.wine.c_path().iterdir()}
        status, out, err = self.run_install(cwd="c:\\")
        self.assertEqual((status, out, err), (0, self.message(cd, 13, 1), b""))
        # Not the current drive: the CD search, which gives the letter in
        # lower case.
        self.assertInstalled(cd, "e", "d")
        self.assertShortcut()
        # No log and no receipt unless asked for.
        self.assertIsNone(self.wine.debug_log())
        self.assertEqual({p.name for p in self.wine.c_path().iterdir()} - before, {"orvik8"})

    def test_german_install_to_a_typed_folder_with_a_log(self):
        cd = self.insert_cd("d")
        self.wine.c_path("orvik files").mkdir()
        folder = "c:\\orvik files\\Orvik 8"
        log = "c:\\orvik files\\install log.txt"
        status, out, _ = self.run_install("--language", "de", "--dest", folder, "--log", log)
        success = self.message(cd, 13, 1, "d")
        self.assertEqual((status, out), (0, success))
        self.assertInstalled(cd, "d", "d", folder)
        self.assertShortcut(folder)
        # The run's line (time, version, account, command line), setup.exe's
        # records (the lookups of the introduction in the program's folder
        # and on the CD, then the success line's), the files, the status.
        found = lookup(r"d:\install\dinstall.dat", True)
        installed = re.compile(rb"Installed \S+ \(\d+ bytes, sha256 [0-9a-f]{64}\)")
        run = [re.compile(rb"==== orvik-install 8\.0, \d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ, "
                          rb"[^,]+\\[^,]+: .*orvik-install\.exe --language de --dest "
                          rb"\"c:\\orvik files\\Orvik 8\" --log .+"),
               ENTERING, lookup(r"c:\e2e\install\dinstall.dat", False),
               lookup(r"c:\e2e\install\install.dat", False, legacy=True),
               found, found, b"rval = 0", success[:-1], b"", *[installed] * 8, EXITED,
               b"==== exit 0 ERROR_SUCCESS"]
        self.assertLog(run, path=self.wine.c_path(log))
        # Run after run in one file: a fleet's history.
        self.assertEqual(self.run_install("--language", "de", "--dest", folder, "--log", log)[0], 0)
        self.assertLog(run + run, path=self.wine.c_path(log))
        # A history past its bound keeps its last runs whole.
        record = b"Entering dlg\n" + b"x" * 200 + b"\n"
        long_history = b"==== orvik-install 8.0, old run\n" + record * 25000
        self.wine.c_path(log).write_bytes(long_history + b"==== orvik-install 8.0, last\n" + record)
        self.assertEqual(self.run_install("--language", "de", "--dest", folder, "--log", log)[0], 0)
        kept = self.wine.c_path(log).read_bytes()
        self.assertTrue(kept.startswith(b"==== orvik-install 8.0, "), kept[:80])
        self.assertLess(len(kept), len(long_history))
        self.assertTrue(kept.endswith(b"==== exit 0 ERROR_SUCCESS\n"))

    def test_windows_switches_and_quiet(self):
        self.insert_cd("f")
        status, out, err = self.run_install("/source:F:", "/language:f", "/quiet", cwd="c:\\")
        self.assertEqual((status, out, err), (0, b"", b""))
        startup = self.wine.c_path("orvik8/startup.mar").read_bytes()
        self.assertIn(b"51 language f", startup)
        self.assertTrue(startup.endswith(b"18 cd drive F\n"), startup)
        self.assertTrue(self.wine.c_path("orvik8/aide.txt").is_file())
        self.assertShortcut()

    def test_no_shortcut_and_a_receipt_over_a_link(self):
        cd = self.insert_cd("d")
        # A receipt name that is a link to another file: replaced, not
        # written through.
        target = self.wine.c_path("target.txt")
        target.write_bytes(b"keep")
        self.addCleanup(target.unlink)
        receipt = self.wine.c_path("receipt.txt")
        os.symlink("target.txt", receipt)
        self.addCleanup(receipt.unlink)
        status, _, _ = self.run_install("--no-shortcut", "--cd-drive", "x",
                                        "--receipt", "c:\\receipt.txt")
        self.assertEqual(status, 0)
        self.assertInstalled(cd, "e", "x")
        self.assertEqual(list(self.wine.desktop().glob("*.lnk")), [])
        self.assertFalse(receipt.is_symlink())
        self.assertIn(b"Source=d:\n", receipt.read_bytes())
        self.assertEqual(target.read_bytes(), b"keep")

    def test_each_failure_has_its_exit_status_and_text(self):
        cd = self.insert_cd("d")
        lists = [f"install/{k}opylist.dat" for k in "edfi"]
        cases = [
            # (switches, CD changes, status, text on standard output)
            (["--dest", "q:\\orvik8"], {}, 3, self.message(cd, 4, 2)),
            ([], {"remove": lists}, 2, self.message(cd, 6, 2)),
            ([], {"remove": lists, "files": {"install/copylist.dat": b"none\r\n"}}, 13,
             self.message(cd, 6, 2)),
            ([], {"remove": ["prog/orvik.dll"]}, 30, self.message(cd, 9, 3)),
        ]
        for args, variant, status, text in cases:
            with self.subTest(status=status):
                self.wine.reset()
                shutil.rmtree(self.scratch / "cd-d")
                cd = self.insert_cd("d", **variant)
                code, out, err = self.run_install("--receipt", "c:\\receipt.txt", *args)
                self.assertEqual((code, out), (status, text))
                # One line on standard error: the failed step, its file, the status's name.
                self.assertRegex(err, rb"\Aorvik-install: [^\n]+: failed \(ERROR_[A-Z_]+\)\r\n\Z")
                self.assertEqual(list(self.wine.desktop().glob("*.lnk")), [])
                self.assertFalse(self.wine.c_path("receipt.txt").exists())

    def test_refusals_write_nothing(self):
        self.insert_cd("e")
        self.wine.c_path("elsewhere").mkdir()
        self.addCleanup(shutil.rmtree, self.wine.c_path("elsewhere"), True)
        os.symlink("elsewhere", self.wine.c_path("orvik8"))
        cases = [
            (["--bogus"], 87, b"unknown switch '--bogus'"),
            (["--language", "x"], 87, b"--language must be"),
            (["--dest", "c:\\or<vik"], 87, b"a character Windows does not allow"),
            (["--log", "q:\\x.log"], 110, b"cannot create the log file q:\\x.log"),
            ([], 1612, b"the Orvik CD was not found in c:\\e2e nor in a CD-ROM drive"),
            (["--source", "g:"], 1612, b"the Orvik CD was not found in g:"),
            (["--source", "e:", "--receipt", "c:\\r.txt"], 681,
             b"c:\\orvik8 is a symbolic link or junction"),
        ]
        for args, status, error in cases:
            with self.subTest(args=args):
                code, out, err = self.run_install(*args, cwd="c:\\")
                self.assertEqual((code, out), (status, b""))
                self.assertTrue(err.startswith(b"orvik-install: "), err)
                self.assertIn(error, err)
                self.assertEqual(err.count(b"\n"), 1, err)
                self.assertEqual(list(self.wine.c_path("elsewhere").iterdir()), [])
                self.assertFalse(self.wine.c_path("r.txt").exists())
        os.unlink(self.wine.c_path("orvik8"))

    def test_help_is_the_usage_with_the_exit_table(self):
        for switch in ("--help", "/?"):
            status, out, err = self.run_install(switch, cwd="c:\\")
            self.assertEqual((status, err), (0, b""))
            self.assertTrue(out.startswith(b"Usage: orvik-install"), out)
            self.assertIn(b"1618  another orvik-install or setup.exe is running", out)

    def test_a_second_installation_waits_for_the_first(self):
        self.insert_cd("d")
        holder = subprocess.Popen(["wine", PROBE, "hold-mutex", INSTALL_MUTEX],
                                  env=self.wine.env, stdin=subprocess.PIPE,
                                  stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        try:
            self.assertEqual(holder.stdout.readline().strip(), b"held")
            status, out, err = self.run_install("--log", "c:\\second.log")
            self.assertEqual((status, out), (1618, b""))
            self.assertIn(b"another installation of Orvik is running", err)
            self.assertNothingInstalled()
            self.assertFalse(self.wine.c_path("second.log").exists())
        finally:
            holder.stdin.close()
            holder.wait(30)
        self.assertEqual(self.run_install("--quiet")[0], 0)

    def test_folders_on_the_way_cannot_be_swapped_during_the_run(self):
        # A run held on a slow CD read: a FIFO in place of a file, fed only
        # once another program has tried to rename the destination and the
        # folder above it, as a user who made them could.
        cd = self.insert_cd("d")
        fonts = cd / "data" / "fonts.dat"
        content = fonts.read_bytes()
        fonts.unlink()
        os.mkfifo(fonts)
        feed = os.open(fonts, os.O_RDWR)  # a writer, so that opening it does not block
        tools = self.wine.c_path("Tools")
        tools.mkdir()
        self.addCleanup(shutil.rmtree, tools, True)
        self.addCleanup(shutil.rmtree, self.wine.c_path("Tools-old"), True)
        install = subprocess.Popen(
            ["wine", WINE_DIR + r"\orvik-install.exe", "--dest", r"c:\Tools\Orvik", "--quiet",
             "--receipt", r"c:\Tools\Orvik\receipt.txt"],
            env=self.wine.env, cwd=self.wine.unix_path("d:\\"), stdin=subprocess.DEVNULL,
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            # Every file is staged before any moves in: five written, the sixth waits.
            def staged():
                return len(list((tools / "Orvik").glob("~orvik*.tmp")))
            for _ in range(600):
                if staged() >= 6:
                    break
                time.sleep(0.05)
            self.assertGreaterEqual(staged(), 6, "the run never reached the slow file")
            for folder in (r"c:\Tools\Orvik", r"c:\Tools"):
                self.assertTrue(self.probe("move", folder, r"c:\Tools-old").startswith(b"refused"),
                                folder)
        finally:
            os.write(feed, content)
            os.close(feed)
            status = install.wait(60)
        self.assertEqual(status, 0)
        self.assertEqual((tools / "Orvik" / "fonts.dat").read_bytes(), content)
        self.assertTrue((tools / "Orvik" / "receipt.txt").exists())
        self.assertFalse(self.wine.c_path("Tools-old").exists())

    def test_a_destination_others_can_write_is_refused_as_it_is(self):
        # Any user may make a folder at the root of C: and plant a DLL in it.
        self.insert_cd("d")
        planted = self.wine.c_path("orvik8")
        planted.mkdir()
        self.addCleanup(shutil.rmtree, planted, True)
        (planted / "version.dll").write_bytes(b"planted")
        os.chmod(planted, 0o777)
        status, out, err = self.run_install("--receipt", r"c:\orvik8\receipt.txt")
        self.assertEqual((status, out), (5, b""))
        self.assertEqual(err, b"orvik-install: c:\\orvik8 can be changed by users other than "
                              b"administrators; not installing there\r\n")
        self.assertEqual([p.name for p in planted.iterdir()], ["version.dll"])
        self.assertEqual((planted / "version.dll").read_bytes(), b"planted")
        self.assertEqual(list(self.wine.desktop().glob("*.lnk")), [])

    def test_setup_exe_holds_the_installation_mutex_too(self):
        self.insert_cd("d")
        seen = []

        def while_the_dialog_is_open(_):
            seen.append(self.run_install("--quiet")[0])
            # A second setup.exe says so in a message box and ends with 0.
            second = self.wine.drive([("wait-window", "another installation"), "close-window",
                                      "wait-exit"])
            seen.append(second.exit_status)

        self.wine.drive(["wait-dialog", "pause", f"click {IDCANCEL}", "wait-exit"],
                        on_pause=while_the_dialog_is_open)
        self.assertEqual(seen, [1618, 0])
        self.assertNothingInstalled()


class PackageFolderTest(UnattendedInstallChecks, UnattendedCase):
    """The CD's contents copied into a folder, orvik-install.exe started
    from there, on a machine with no CD-ROM drive at all."""
    drives = {}

    def stage(self, folder=r"c:\pkg\Orvik 8"):
        package = self.wine.c_path(folder)
        shutil.copytree(SAMPLE_CD, package)
        shutil.copy2(self.wine.install_exe, package / "orvik-install.exe")
        self.addCleanup(shutil.rmtree, self.wine.c_path("pkg"), True)
        return package

    def test_admin_command_line_missing_parents_acl_and_receipt(self):
        package = self.stage()
        self.addCleanup(shutil.rmtree, self.wine.c_path(r"Program Files\Ostmarrow"), True)
        logs = r"C:\ProgramData\Ostmarrow"
        log = self.wine.c_path(logs + r"\Orvik\Logs\orvik-install.log")
        self.addCleanup(shutil.rmtree, self.wine.c_path(logs), True)
        # The README's line for Intune and Configuration Manager, as
        # administrators type it: a closing quote after a backslash, then
        # more switches; a parent folder that does not exist yet. Its
        # --receipt names the receipt's own place: one receipt, no copy.
        status, out, err = self.run_command_line(
            r'"C:\pkg\Orvik 8\orvik-install.exe" --language de --dest "C:\Program Files\Ostmarrow\Orvik\" --receipt "C:\Program Files\Ostmarrow\Orvik\orvik-receipt.txt" --log C:\ProgramData\Ostmarrow\Orvik\Logs\orvik-install.log --quiet',
            cwd=r"c:\pkg\Orvik 8")
        self.assertEqual((status, out, err), (0, b"", b""))
        folder = r"C:\Program Files\Ostmarrow\Orvik"
        installed = self.wine.c_path(folder)
        # No CD-ROM drive: the CD-drive line names the package's drive.
        self.assertEqual((installed / "startup.mar").read_bytes(),
                         settings(package, "startup.mar", "d", "C"))
        self.assertEqual((installed / "orvik8.exe").read_bytes(),
                         (package / "prog" / "orvik8.exe").read_bytes())
        link = read_shell_link((self.wine.desktop() / "orvik8.lnk").read_bytes())
        self.assertEqual(link, ("c" + folder[1:] + r"\orvik8.exe", folder, "Orvik 8.0 (Ostmarrow)"))
        self.assertIn(b"rval = 0", log.read_bytes())
        receipt = (installed / "orvik-receipt.txt").read_bytes()
        self.assertRegex(receipt, rb"\A\[Orvik\]\nProductVersion=8\.0\nLanguage=d\n"
                                  rb"Destination=C:\\Program Files\\Ostmarrow\\Orvik\n"
                                  rb"Source=[cC]:\\pkg\\Orvik 8\nFiles=8\n"
                                  rb"InstalledUtc=\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ\n"
                                  rb"Shortcut=[^\n]+\\orvik8\.lnk\n\n\[Files\]\n"
                                  rb"(?:[^\n=]+=\d+,[0-9a-f]{64}\n){8}\Z")
        # Wine runs us as an elevated administrator. It keeps no descriptors
        # of its own and reduces the one given at creation to mode bits: the
        # folders made by us give Everyone nothing, where a plain folder gives
        # Everyone read and execute.
        plain = self.wine.c_path("plain")
        plain.mkdir()
        self.addCleanup(plain.rmdir)
        self.assertIn("(A;OICI;0x1200a9;;;WD)", self.probe("dacl", r"C:\plain").decode())
        for made in (r"C:\Program Files\Ostmarrow", folder, logs, logs + r"\Orvik\Logs"):
            self.assertNotIn(";WD)", self.probe("dacl", made).decode(), made)

    def reg_query(self, key):
        """The values of a registry key as {name: text}, or None without it."""
        done = subprocess.run(["wine", "reg", "query", key], env=self.wine.env,
                              capture_output=True, timeout=60)
        if done.returncode != 0:
            return None
        values = {}
        for line in done.stdout.decode("latin-1").splitlines():
            parts = line.strip().split(None, 2)
            if len(parts) >= 2 and parts[1].startswith("REG_"):
                values[parts[0]] = parts[2] if len(parts) == 3 else ""
        return values

    def test_a_products_life_install_upgrade_in_use_failure_and_removal(self):
        package = self.stage()
        folder = r"C:\Program Files\Ostmarrow\Orvik"
        installed = self.wine.c_path(folder)
        self.addCleanup(shutil.rmtree, self.wine.c_path(r"Program Files\Ostmarrow"), True)
        key = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Ostmarrow.Orvik8"
        install = [r"C:\pkg\Orvik 8\orvik-install.exe", "--dest", folder, "--quiet"]

        def listing():
            return {p.name: p.read_bytes() for p in installed.iterdir()
                    if not p.name.startswith("orvik-receipt.")}

        self.assertEqual(self.run_install(*install[1:], "--language", "en",
                                          program=install[0], cwd="c:\\")[0], 0)
        # Detection by the registry, as Intune and Configuration Manager read it.
        entry = self.reg_query(key)
        self.assertIsNotNone(entry, "no uninstall entry")
        self.assertEqual(entry["DisplayName"], "Orvik 8.0")
        self.assertEqual(entry["DisplayVersion"], "8.0")
        self.assertEqual(entry["Publisher"], "Ostmarrow")
        self.assertEqual(entry["InstallLocation"], folder)
        self.assertEqual(entry["QuietUninstallString"],
                         f'"{folder}\\orvik-uninstall.exe" --uninstall --dest "{folder}" --quiet')
        self.assertEqual(int(entry["Language"], 16), 1033)

        # An upgrade in German; then one that cannot read a file of the CD:
        # 30, no receipt, no entry, the German installation as it was.
        self.assertEqual(self.run_install(*install[1:], "--language", "de",
                                          program=install[0], cwd="c:\\")[0], 0)
        german = listing()
        self.assertIn("hilfe.txt", german)
        dll = package / "prog" / "orvik.dll"
        kept = dll.read_bytes()
        dll.unlink()
        self.assertEqual(self.run_install(*install[1:], "--language", "fr",
                                          program=install[0], cwd="c:\\")[0], 30)
        dll.write_bytes(kept)
        self.assertFalse((installed / "orvik-receipt.txt").exists())
        self.assertIsNone(self.reg_query(key))
        self.assertEqual(listing(), german)

        # Orvik running: 32, every file as it was, the file named.
        holder = subprocess.Popen(["wine", PROBE, "hold-file", folder + r"\orvik8.exe"],
                                  env=self.wine.env, stdin=subprocess.PIPE,
                                  stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        try:
            self.assertEqual(holder.stdout.readline().strip(), b"held")
            status, _, err = self.run_install(*install[1:], "--language", "it",
                                              program=install[0], cwd="c:\\")
            self.assertEqual(status, 32, err)
            self.assertIn(b"orvik8.exe is in use", err)
            self.assertEqual(listing(), german)
        finally:
            holder.stdin.close()
            holder.wait(30)
        self.assertEqual(self.run_install(*install[1:], "--language", "it",
                                          program=install[0], cwd="c:\\")[0], 0)

        # The removal, as the registration's own command runs it: the user's
        # file stays and is named, the rest goes.
        (installed / "notes.txt").write_bytes(b"mine")
        uninstall = self.reg_query(key)["QuietUninstallString"]
        status, out, err = self.run_command_line(uninstall, cwd="c:\\")
        self.assertEqual((status, out), (0, b""), err)
        self.assertIn(b"notes.txt (not installed by Orvik)", err)
        # The running uninstaller goes when Windows next starts.
        self.assertEqual(sorted(p.name for p in installed.iterdir()),
                         ["notes.txt", "orvik-uninstall.exe"])
        pending = self.reg_query(r"HKLM\System\CurrentControlSet\Control\Session Manager")
        self.assertIn("orvik-uninstall.exe", pending.get("PendingFileRenameOperations", ""))
        self.assertIsNone(self.reg_query(key))
        self.assertEqual(list(self.wine.desktop().glob("*.lnk")), [])
        (installed / "notes.txt").unlink()
        (installed / "orvik-uninstall.exe").unlink()
        # Nothing left to remove: success, and a line that says so.
        status, out, _ = self.run_install("--uninstall", program=install[0], cwd="c:\\")
        self.assertEqual((status, out), (0, b"Orvik is not installed; nothing to remove.\r\n"))

    def test_the_package_zip_as_winget_installs_and_removes_it(self):
        installer = test_package.readme_manifest()
        # winget unpacks the zip into a temporary folder of its own and
        # starts the nested installer there, with the manifest's switches.
        unpacked = r"C:\windows\temp\WinGet\Ostmarrow.Orvik.8.0\extracted"
        self.addCleanup(shutil.rmtree, self.wine.c_path(r"windows\temp\WinGet"), True)
        with zipfile.ZipFile(test_package.package_zip()) as package:
            package.extractall(self.wine.c_path(unpacked))
        (nested,) = installer["NestedInstallerFiles"]
        status, out, err = self.run_command_line(
            f'"{unpacked}\\{nested["RelativeFilePath"]}" {installer["InstallerSwitches"]["Silent"]}')
        self.assertEqual((status, out, err), (0, b"", b""))
        self.assertTrue(self.wine.c_path(r"c:\orvik8\orvik8.exe").is_file())
        common_link = self.wine.c_path(r"users\Public\Desktop\orvik8.lnk")
        self.assertTrue(common_link.is_file())

        # Found as winget finds it: the entry of AppsAndFeaturesEntries.
        (apps,) = installer["AppsAndFeaturesEntries"]
        key = ("HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" +
               apps["ProductCode"])
        entry = self.reg_query(key)
        self.assertIsNotNone(entry, "no uninstall entry")
        shown = ("DisplayName", "Publisher", "DisplayVersion")
        self.assertEqual({f: entry.get(f) for f in shown}, {f: apps[f] for f in shown})
        status, out, err = self.run_command_line(entry["QuietUninstallString"])
        self.assertEqual((status, out), (0, b""), err)
        self.assertIsNone(self.reg_query(key))
        self.assertFalse(common_link.exists())
        # Only the running uninstaller is left, for the next restart.
        self.assertEqual([p.name for p in self.wine.c_path("orvik8").iterdir()],
                         ["orvik-uninstall.exe"])

    def test_a_folder_without_the_cds_files_is_not_a_source(self):
        package = self.stage()
        shutil.rmtree(package / "install")
        status, out, err = self.run_install(program=r"C:\pkg\Orvik 8\orvik-install.exe",
                                            cwd="c:\\")
        self.assertEqual((status, out), (1612, b""))
        self.assertIn(b"the Orvik CD was not found in", err)
        self.assertNothingInstalled()

    def test_a_share_that_cannot_be_reached(self):
        # Wine has no network client here, so a UNC source can be shown only
        # as unreachable.
        status, out, err = self.run_install("--source", r"\\server\share\Orvik", cwd="c:\\")
        self.assertEqual((status, out), (1612, b""))
        self.assertIn(rb"not found in \\server\share\Orvik (", err)
        self.assertNothingInstalled()


class InstallerImageTest(test_hardening.ImageIdentityTest):
    """orvik-install.exe carries setup.exe's manifest (asInvoker: a program
    named *install* is elevated without it) and icon, and a version
    resource of its own."""

    @classmethod
    def setUpClass(cls):
        image = test_hardening.setup_exe().with_name("orvik-install.exe")
        if not image.is_file():
            raise unittest.SkipTest(f"{image} is not built")
        cls.resources = pe_resources(image.read_bytes())

    def test_version_resource_names_the_product_and_its_maker(self):
        name, data = self.only(RT_VERSION)
        _, fixed, children, _ = test_hardening.version_node(data)
        file_ms, file_ls = struct.unpack_from("<2I", fixed, 8)
        self.assertEqual((name, file_ms, file_ls), (1, 8 << 16, 0))
        strings = {k: v for k, (v, _) in children["StringFileInfo"][1]["040904E4"][1].items()}
        self.assertEqual((strings["CompanyName"], strings["ProductName"],
                          strings["OriginalFilename"]),
                         ("Ostmarrow", "Orvik", "orvik-install.exe"))


if __name__ == "__main__":
    unittest.main()
