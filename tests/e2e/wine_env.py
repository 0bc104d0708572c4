"""The end-to-end tests' harness over the Wine sessions of
scripts/wine_session.py: one session per test process, the tests' base
class, CD variants, and the template prefix that CTest's fixture makes once
per run.

Environment:
  ORVIK_E2E_SETUP_EXE     setup.exe to test (required by the Wine tests)
  ORVIK_E2E_UI_DRIVER     ui_driver.exe (required by the Wine tests)
  ORVIK_E2E_TEMPLATE_FILE file naming a template made by `create-template`;
                          without it each process makes a private template
  ORVIK_E2E_DISPLAY       "host": use $DISPLAY instead of a private Xvfb
  ORVIK_E2E_KEEP          "1": keep the run folder (prefix, drives, log)

Command line (the CTest fixture uses it):
  wine_env.py create-template STATE_FILE
  wine_env.py remove-template STATE_FILE
"""

import atexit
import os
import re
import shutil
import signal
import sys
import tempfile
import time
import unittest
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE.parent.parent / "scripts"))

# Also the names the test files take from the session, so that they import
# one module.
from wine_session import (  # noqa: E402
    IDC_DEST_DIR, IDC_LANG_DEUTSCH, IDC_MESSAGE, IDCANCEL, IDOK, LANGUAGE_BUTTONS,
    SAMPLE_CD, WINE_DIR, HarnessError, WineSession, create_template, read_bytes,
    read_shell_link, stop_server, wine_environment)


# --- CDs ------------------------------------------------------------------

def build_cd(folder, *, source=SAMPLE_CD, remove=(), files=None, legacy=False,
             setup_exe=None):
    """A CD variant in folder: a copy of source with paths (relative, "/")
    removed, files (path -> bytes) added or replaced. legacy: the old layout,
    one message file install\\install.dat (the English one) and no language
    message files. setup_exe: put the program on the CD as setup.exe."""
    folder = Path(folder)
    shutil.copytree(source, folder)
    if legacy:
        english = (folder / "install" / "einstall.dat").read_bytes()
        for message_file in (folder / "install").glob("?install.dat"):
            message_file.unlink()
        (folder / "install" / "install.dat").write_bytes(english)
    for relative in remove:
        target = folder / relative
        if target.is_dir():
            shutil.rmtree(target)
        else:
            target.unlink()
    for relative, data in (files or {}).items():
        target = folder / relative
        target.parent.mkdir(parents=True, exist_ok=True)
        target.write_bytes(data)
    if setup_exe:
        shutil.copy2(setup_exe, folder / "setup.exe")
    return folder


def message_lines(path, first, count):
    """Lines of a message file as stored, line ends included."""
    lines = Path(path).read_bytes().split(b"\n")
    lines = [line + b"\n" for line in lines[:-1]] + ([lines[-1]] if lines[-1] else [])
    return b"".join(lines[first:first + count])


# --- the session shared by the tests of one process -------------------------

_session = None


def _close_session(*_):
    global _session
    if _session is not None:
        session, _session = _session, None
        session.close()


def _on_signal(number, _frame):
    _close_session()
    signal.signal(number, signal.SIG_DFL)
    os.kill(os.getpid(), number)


def session(xvfb=True):
    """The process's Wine session, started on first use and closed at exit,
    also when the process is interrupted or terminated. xvfb=False: a
    session for console programs, without a display."""
    global _session
    if _session is None:
        setup_exe = os.environ.get("ORVIK_E2E_SETUP_EXE")
        ui_driver = os.environ.get("ORVIK_E2E_UI_DRIVER")
        if not setup_exe or not ui_driver:
            raise HarnessError("set ORVIK_E2E_SETUP_EXE and ORVIK_E2E_UI_DRIVER")
        template = None
        state = os.environ.get("ORVIK_E2E_TEMPLATE_FILE")
        if state and Path(state).is_file():
            template = Path(Path(state).read_text().strip())
            if not (template / "READY").exists():
                raise HarnessError(f"the template {template} is not complete")
        display = None
        if os.environ.get("ORVIK_E2E_DISPLAY") == "host":
            display = os.environ.get("DISPLAY") or None
            if not display:
                raise HarnessError("ORVIK_E2E_DISPLAY=host needs $DISPLAY")
        atexit.register(_close_session)
        for number in (signal.SIGTERM, signal.SIGINT, signal.SIGHUP):
            signal.signal(number, _on_signal)
        _session = WineSession(setup_exe, ui_driver, template, display,
                               keep=os.environ.get("ORVIK_E2E_KEEP") == "1",
                               xvfb=xvfb).start()
    return _session


# --- the tests' base class ---------------------------------------------------

# CD-ROM drives d:, f: and g: around a fixed disk e:, so that every search
# case fits one layout and the wineserver never restarts between tests.
STANDARD_DRIVES = {"d": "cdrom", "e": "hd", "f": "cdrom", "g": "cdrom"}


def lookup(name, found, legacy=False):
    """A "Looking for" line of the debug log as a pattern: a found file has
    a non-zero stream identity, a missing one eight zeros."""
    head = re.escape(f"Looking for '{name}': ".encode("cp1252"))
    identity = rb"(?!00000000)[0-9A-F]{8}" if found else rb"00000000"
    return re.compile(head + identity + (rb", version 7" if legacy else b""))


class WineTestCase(unittest.TestCase):
    drives = STANDARD_DRIVES
    needs_display = True

    @classmethod
    def setUpClass(cls):
        cls.wine = session(xvfb=cls.needs_display)
        cls.wine.set_drives(cls.drives)

    def setUp(self):
        self.wine.reset()
        self.scratch = Path(tempfile.mkdtemp(dir=self.wine.root))
        self.addCleanup(shutil.rmtree, self.scratch, True)

    def insert_cd(self, letter, **variant):
        """Builds a CD variant (see build_cd) with setup.exe on it and puts
        it in the drive; returns the drive's folder."""
        variant.setdefault("setup_exe", self.wine.setup_exe)
        cd = build_cd(self.scratch / f"cd-{letter}", **variant)
        return self.wine.insert(letter, cd)

    def assertLog(self, expected, path=None):
        """The debug log (or the log file at the host path), line by line:
        bytes must match exactly, patterns in full. Every line ends in a
        bare line feed."""
        log = self.wine.debug_log() if path is None else (
            Path(path).read_bytes() if Path(path).exists() else None)
        self.assertIsNotNone(log, "no debug log was written")
        self.assertTrue(log.endswith(b"\n"), log)
        lines = log[:-1].split(b"\n")
        shown = "\n".join(repr(x) for x in lines)
        self.assertEqual(len(lines), len(expected), "log:\n" + shown)
        for line, want in zip(lines, expected):
            if isinstance(want, bytes):
                self.assertEqual(line, want, "log:\n" + shown)
            else:
                self.assertTrue(want.fullmatch(line),
                                f"{line!r} is not {want.pattern!r}; log:\n" + shown)


# --- fixture commands -------------------------------------------------------

def _create_template_command(state_file):
    state_file = Path(state_file)
    _remove_template_command(state_file)
    folder = Path(tempfile.mkdtemp(prefix="orvik-e2e-template-"))
    state_file.parent.mkdir(parents=True, exist_ok=True)
    state_file.write_text(str(folder) + "\n")
    started = time.monotonic()
    create_template(folder)
    print(f"Wine template prefix in {folder} ({time.monotonic() - started:.1f} s)")


def _remove_template_command(state_file):
    state_file = Path(state_file)
    if not state_file.exists():
        return
    folder = Path(state_file.read_text().strip())
    # Sessions killed outright may have left their servers behind.
    for prefix in [folder / "prefix", *folder.glob("runs/*/prefix")]:
        if prefix.is_dir():
            stop_server(wine_environment(prefix, folder / "home", None))
    if folder.name.startswith("orvik-e2e-template-"):
        shutil.rmtree(folder, ignore_errors=True)
    state_file.unlink()


if __name__ == "__main__":
    commands = {"create-template": _create_template_command,
                "remove-template": _remove_template_command}
    if len(sys.argv) != 3 or sys.argv[1] not in commands:
        sys.exit(f"usage: {sys.argv[0]} create-template|remove-template STATE_FILE")
    try:
        commands[sys.argv[1]](sys.argv[2])
    except HarnessError as error:
        sys.exit(f"e2e: {error}")
