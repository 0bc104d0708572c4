"""Wine sessions that run setup.exe and orvik-install.exe: a private prefix
per session, its own Xvfb and wineserver, folders mapped as drives, and the
UI driver that works the dialog through window messages. The sample run
(run_sample.py), the README's screenshot (make_screenshot.py) and the
end-to-end tests (tests/e2e/wine_env.py) all drive Wine through it.

A template prefix (about ten seconds of wineboot) is cloned for every
session (hard links for the big system files). Drive letters always point
at <run>/drives/<letter>: inserting a CD fills that folder, an absent folder
is a drive without a disc. Only a change of letters or drive types needs a
wineserver restart, because Wine reads them when its server starts.
"""

import ctypes
import json
import os
import selectors
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import time
from pathlib import Path

SAMPLE_CD = Path(__file__).resolve().parent.parent / "examples" / "cd"


SCREEN = "1024x768"
# Wine's own fonts (Debian package fonts-wine). This Wine does not load them
# from there, so dialogs fall back to host fonts and the caption buttons
# lose their glyphs; copied into c:\windows\Fonts they are used.
WINE_FONTS = Path("/usr/share/wine/fonts")
# The wineserver outlives its last process by this many seconds: long
# enough to stay warm between tests, short enough to end by itself if this
# process is killed without a chance to stop it.
SERVER_PERSIST_SECONDS = 20
DRIVER_TIMEOUT_MS = 20000
WINE_DIR = r"c:\e2e"

# The dialog's controls (ui/resource.h) and the standard buttons.
IDOK, IDCANCEL = 1, 2
IDC_DEST_DIR, IDC_MESSAGE = 1005, 1012
IDC_LANG_ENGLISH, IDC_LANG_DEUTSCH, IDC_LANG_FRANCAIS, IDC_LANG_ITALIANO = (
    1008, 1009, 1010, 1011)
LANGUAGE_BUTTONS = {"e": IDC_LANG_ENGLISH, "d": IDC_LANG_DEUTSCH,
                    "f": IDC_LANG_FRANCAIS, "i": IDC_LANG_ITALIANO}


class HarnessError(RuntimeError):
    """The environment, not setup.exe, failed."""


class DriverFailure(AssertionError):
    """A driver command failed: setup.exe did not behave as scripted."""


def wine_environment(prefix, home, display):
    env = {k: v for k, v in os.environ.items()
           if not k.startswith(("WINE", "XDG_", "WAYLAND"))}
    env.update(
        WINEPREFIX=str(prefix),
        WINEARCH="win64",
        WINEDEBUG="-all",
        # No Mono or Gecko install prompts, no menu entries on the host.
        WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d",
        # Wine links the user's folders to $HOME: keep them in the run.
        HOME=str(home),
        XDG_CONFIG_HOME=str(home / ".config"),
        XDG_DATA_HOME=str(home / ".local" / "share"),
        XDG_CACHE_HOME=str(home / ".cache"),
        # English locale: the ANSI code page is 1252, as on the target.
        LANG="C.UTF-8",
        LC_ALL="C.UTF-8",
    )
    env.pop("DISPLAY", None)
    if display:
        env["DISPLAY"] = display
    return env


def _run(argv, env, timeout, what, cwd=None):
    try:
        done = subprocess.run(argv, env=env, cwd=cwd, stdin=subprocess.DEVNULL,
                              stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                              timeout=timeout)
    except FileNotFoundError as error:
        raise HarnessError(f"{what}: {argv[0]} is not installed") from error
    except subprocess.TimeoutExpired as error:
        raise HarnessError(f"{what}: no end after {timeout} s") from error
    if done.returncode != 0:
        raise HarnessError(f"{what} failed ({done.returncode}):\n"
                           + done.stdout.decode(errors="replace"))
    return done.stdout


# --- registry files -------------------------------------------------------

def _reg_key_line(key):
    return "[" + key.replace("\\", "\\\\") + "]"


def _reg_string(text):
    return '"' + text.replace("\\", "\\\\").replace('"', '\\"') + '"'


def set_reg_values(reg_file, key, values):
    """Replaces the values of one key in a registry file of a prefix whose
    wineserver is not running (the server rewrites the files on exit)."""
    lines = Path(reg_file).read_text(encoding="utf-8").split("\n")
    head = _reg_key_line(key)
    body = [f"{_reg_string(name)}={_reg_string(value)}"
            for name, value in sorted(values.items())]
    for i, line in enumerate(lines):
        if line == head or line.startswith(head + " "):
            end = i + 1
            while end < len(lines) and lines[end].strip():
                end += 1
            lines[i + 1:end] = body
            break
    else:
        if lines and lines[-1] == "":
            lines.pop()
        lines += ["", f"{head} {int(time.time())}", *body, ""]
    Path(reg_file).write_text("\n".join(lines), encoding="utf-8")


# --- the template prefix --------------------------------------------------

def create_template(folder, virtual_desktop=True):
    """Makes a fresh prefix in folder/prefix; returns the folder."""
    folder = Path(folder)
    prefix, home = folder / "prefix", folder / "home"
    home.mkdir(parents=True)
    env = wine_environment(prefix, home, None)
    _run(["wineboot", "-i"], env, 180, "wineboot")
    stop_server(env)

    # Every program runs on a virtual desktop: Wine then draws the frames
    # and captions itself, the work area is the same everywhere, and a
    # screenshot of the root window shows the whole dialog.
    if virtual_desktop:
        set_reg_values(prefix / "user.reg", r"Software\Wine\Explorer",
                       {"Desktop": "Default"})
        set_reg_values(prefix / "user.reg", r"Software\Wine\Explorer\Desktops",
                       {"Default": SCREEN})
    # Drives come from the tests only: no host root as z:, no ports.
    for entry in (prefix / "dosdevices").iterdir():
        if entry.name != "c:":
            entry.unlink()
    set_reg_values(prefix / "system.reg", r"Software\Wine\Drives", {})
    fonts = prefix / "drive_c" / "windows" / "Fonts"
    if WINE_FONTS.is_dir():
        for font in WINE_FONTS.iterdir():
            shutil.copy2(font, fonts / font.name)
    # The user's folders are links into $HOME: make them plain folders,
    # so a shortcut on the desktop stays in the clone that made it.
    for link in (prefix / "drive_c" / "users").glob("*/*"):
        if link.is_symlink():
            link.unlink()
            link.mkdir()
    (folder / "READY").write_text("")
    return folder


def clone_prefix(template, target):
    """Copies a prefix; the big files under c:\\windows, which nothing here
    writes, are hard links. The registry and everything else are copies."""
    template, target = Path(template), Path(target)
    windows = template / "drive_c" / "windows"
    for here, dirs, files in os.walk(template):
        here = Path(here)
        out = target / here.relative_to(template)
        out.mkdir(exist_ok=True)
        for name in dirs + files:
            source = here / name
            if source.is_symlink():
                os.symlink(os.readlink(source), out / name)
            elif name in files:
                if (windows in source.parents and source.stat().st_size >= 65536):
                    try:
                        os.link(source, out / name)
                        continue
                    except OSError:
                        pass
                shutil.copy2(source, out / name)
        dirs[:] = [d for d in dirs if not (here / d).is_symlink()]


def stop_server(env):
    """Ends the prefix's wineserver and its processes, and waits for it."""
    for flag in ("-k", "-w"):
        try:
            subprocess.run(["wineserver", flag], env=env, stdin=subprocess.DEVNULL,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                           timeout=30)
        except (subprocess.TimeoutExpired, FileNotFoundError):
            pass


def _die_with_parent():
    # Xvfb must not outlive a test process that is killed outright.
    try:
        ctypes.CDLL("libc.so.6").prctl(1, signal.SIGTERM)  # PR_SET_PDEATHSIG
    except OSError:
        pass


def start_xvfb(log_path):
    read_end, write_end = os.pipe()
    with open(log_path, "wb") as log:
        try:
            process = subprocess.Popen(
                ["Xvfb", "-displayfd", str(write_end), "-screen", "0", SCREEN + "x24",
                 "-nolisten", "tcp", "-noreset"],
                pass_fds=(write_end,), stdin=subprocess.DEVNULL,
                stdout=subprocess.DEVNULL, stderr=log, preexec_fn=_die_with_parent)
        except FileNotFoundError as error:
            raise HarnessError("Xvfb is not installed") from error
    os.close(write_end)
    number = b""
    with selectors.DefaultSelector() as selector:
        selector.register(read_end, selectors.EVENT_READ)
        deadline = time.monotonic() + 30
        while not number.endswith(b"\n"):
            if not selector.select(max(0.0, deadline - time.monotonic())):
                break
            chunk = os.read(read_end, 16)
            if not chunk:
                break
            number += chunk
    os.close(read_end)
    if not number.strip():
        process.kill()
        process.wait()
        raise HarnessError("Xvfb did not start: " + Path(log_path).read_text(errors="replace"))
    return process, ":" + number.decode().strip()


# --- one test process's session -------------------------------------------

class DriverRun:
    """What one ui_driver run reported: the start line and one result per
    command, in the order of the commands."""

    def __init__(self, start, results, stderr):
        self.start = start
        self.results = results
        self.stderr = stderr

    def __getitem__(self, index):
        return self.results[index]

    def of(self, command):
        return [r for r in self.results if r["cmd"] == command]

    @property
    def exit_status(self):
        exits = self.of("wait-exit")
        return exits[-1]["status"] if exits else None


def read_bytes(result):
    """The bytes of a read text, in the ANSI code page (1252)."""
    return bytes.fromhex(result["ansi"])


class WineSession:
    def __init__(self, setup_exe, ui_driver, template=None, display=None,
                 keep=False, virtual_desktop=True, xvfb=True):
        self.setup_exe = Path(setup_exe)
        self.ui_driver = Path(ui_driver)
        # orvik-install.exe is built beside setup.exe; copied when present.
        self.install_exe = self.setup_exe.with_name("orvik-install.exe")
        self.want_xvfb = xvfb
        self.template = Path(template) if template else None
        self.host_display = display
        self.keep = keep
        self.virtual_desktop = virtual_desktop
        self.root = None
        self.prefix = None
        self.xvfb = None
        self.display = None
        self.layout = None
        self.server_running = False

    # Lifecycle.

    def start(self):
        for path in (self.setup_exe, self.ui_driver):
            if not path.is_file():
                raise HarnessError(f"{path} does not exist: build it first")
        runs = self.template / "runs" if self.template else None
        if runs:
            runs.mkdir(exist_ok=True)
        self.root = Path(tempfile.mkdtemp(prefix="orvik-e2e-", dir=runs))
        try:
            if self.template is None:
                create_template(self.root / "template", self.virtual_desktop)
                template = self.root / "template"
            else:
                template = self.template
            self.prefix = self.root / "prefix"
            self.home = self.root / "home"
            clone_prefix(template / "prefix", self.prefix)
            shutil.copytree(template / "home", self.home, symlinks=True)
            if self.template is None:
                shutil.rmtree(template)
            tools = self.prefix / "drive_c" / "e2e"
            tools.mkdir()
            shutil.copy2(self.setup_exe, tools / "setup.exe")
            shutil.copy2(self.ui_driver, tools / "ui_driver.exe")
            if self.install_exe.is_file():
                shutil.copy2(self.install_exe, tools / "orvik-install.exe")
            (self.root / "drives").mkdir()
            if self.host_display:
                self.display = self.host_display
            elif not self.want_xvfb:
                self.display = None  # console programs only
            else:
                self.xvfb, self.display = start_xvfb(self.root / "xvfb.log")
            self.env = wine_environment(self.prefix, self.home, self.display)
        except BaseException:
            self.close()
            raise
        return self

    def close(self):
        if self.root is None:
            return
        if self.prefix is not None and self.prefix.exists():
            stop_server(wine_environment(self.prefix, self.home, None))
        self.server_running = False
        if self.xvfb is not None:
            self.xvfb.terminate()
            try:
                self.xvfb.wait(10)
            except subprocess.TimeoutExpired:
                self.xvfb.kill()
                self.xvfb.wait()
            self.xvfb = None
        if self.keep:
            print(f"e2e: kept {self.root}", file=sys.stderr)
        else:
            shutil.rmtree(self.root, ignore_errors=True)
        self.root = None

    def _start_server(self):
        # The launcher returns once the server listens; the server itself
        # detaches, so its output must not be a pipe anybody waits on.
        subprocess.run(["wineserver", f"-p{SERVER_PERSIST_SECONDS}"], env=self.env,
                       stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=30, check=True)
        self.server_running = True

    # Drives.

    def drive_path(self, letter):
        return self.root / "drives" / letter.lower()

    def set_drives(self, layout):
        """layout: {"d": "cdrom", "e": "hd", ...}. Restarts the wineserver
        only when letters or types change."""
        layout = {letter.lower(): kind for letter, kind in layout.items()}
        if layout == self.layout and self.server_running:
            return
        if self.server_running:
            stop_server(self.env)
            self.server_running = False
        devices = self.prefix / "dosdevices"
        for entry in devices.iterdir():
            if entry.name != "c:":
                entry.unlink()
        for letter in layout:
            os.symlink(self.drive_path(letter), devices / f"{letter}:")
        set_reg_values(self.prefix / "system.reg", r"Software\Wine\Drives",
                       {f"{letter}:": kind for letter, kind in layout.items()})
        self.layout = layout
        self._start_server()

    def insert(self, letter, folder):
        """Puts a copy of folder in the drive; None leaves it without a disc."""
        target = self.drive_path(letter)
        if target.exists():
            shutil.rmtree(target)
        if folder is not None:
            shutil.copytree(folder, target)
        return target

    # Files of drive c:.

    def c_path(self, windows_path=""):
        relative = windows_path.replace("\\", "/").lstrip("/")
        if relative[:2].lower() == "c:":
            relative = relative[2:].lstrip("/")
        return self.prefix / "drive_c" / relative

    @property
    def debug_log_path(self):
        return self.c_path(r"windows\debug.txt")

    def debug_log(self):
        path = self.debug_log_path
        return path.read_bytes() if path.exists() else None

    def desktop(self):
        users = self.prefix / "drive_c" / "users"
        user = next(p for p in users.iterdir() if p.name != "Public")
        return user / "Desktop"

    def reset(self):
        """Between tests: no log, no installation, no shortcut, no discs."""
        self.debug_log_path.unlink(missing_ok=True)
        for installed in self.c_path().glob("orvik*"):
            shutil.rmtree(installed, ignore_errors=True)
        for desktop in self.prefix.glob("drive_c/users/*/Desktop"):
            for link in desktop.glob("*.lnk"):
                link.unlink()
        for letter in self.layout or {}:
            self.insert(letter, None)

    # Running setup.exe.

    def drive(self, commands, args=(), cwd=None, program=None, on_pause=None,
              timeout=90, launcher=()):
        """Runs setup.exe under the UI driver. commands: strings split at
        spaces, or tuples for arguments with spaces. Raises DriverFailure
        with the whole exchange when a command fails. launcher: a command
        that wine runs under (e.g. setpriv with fewer capabilities)."""
        if not self.server_running:
            self.set_drives(self.layout or {})
        program = program or WINE_DIR + r"\setup.exe"
        argv = [*launcher, "wine", WINE_DIR + r"\ui_driver.exe", "--timeout", str(DRIVER_TIMEOUT_MS)]
        if cwd:
            argv += ["--cwd", cwd]
        argv += ["--", program, *args]
        script = [c.split() if isinstance(c, str) else [str(a) for a in c]
                  for c in commands]
        for command in script:
            argv += [":", *command]
        stderr = tempfile.TemporaryFile(dir=self.root)
        process = subprocess.Popen(argv, env=self.env, cwd=self.c_path(),
                                   stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                   stderr=stderr)
        lines = []
        try:
            lines = self._read_results(process, len(script) + 1, on_pause, timeout)
            process.stdin.close()
            process.wait(30)
        finally:
            if process.poll() is None:
                process.kill()
                process.wait()
            process.stdout.close()
            stderr.seek(0)
            err = stderr.read().decode(errors="replace")
            stderr.close()
        transcript = "\n".join(json.dumps(r) for r in lines)
        if len(lines) < len(script) + 1 or not all(r.get("ok") for r in lines):
            raise DriverFailure(f"driver run failed: {' '.join(argv[2:])}\n"
                                f"{transcript}\nexit {process.returncode}\n{err}")
        if process.returncode != 0:
            raise DriverFailure(f"driver exit {process.returncode}\n{transcript}\n{err}")
        return DriverRun(lines[0], lines[1:], err)

    def _read_results(self, process, expected, on_pause, timeout):
        # Read line by line up to the last expected result: a Wine process
        # that inherited the pipe must not keep us waiting for its end.
        results, buffer = [], b""
        deadline = time.monotonic() + timeout
        fd = process.stdout.fileno()
        with selectors.DefaultSelector() as selector:
            selector.register(fd, selectors.EVENT_READ)
            while len(results) < expected:
                while b"\n" not in buffer:
                    left = deadline - time.monotonic()
                    if left <= 0 or not selector.select(left):
                        return results
                    chunk = os.read(fd, 65536)
                    if not chunk:
                        return results
                    buffer += chunk
                line, buffer = buffer.split(b"\n", 1)
                result = json.loads(line)
                results.append(result)
                if not result.get("ok", True):
                    return results
                if result.get("cmd") == "pause":
                    if on_pause:
                        on_pause(len(results) - 2)
                    process.stdin.write(b"\n")
                    process.stdin.flush()
        return results

    def unix_path(self, windows_path):
        """The host folder of a path on drive c: or a test drive."""
        drive, _, rest = windows_path.partition(":")
        if drive.lower() == "c":
            return self.c_path(rest)
        return self.drive_path(drive) / rest.replace("\\", "/").lstrip("/")

    def run_console(self, args, cwd="c:\\", program=None, timeout=60):
        """Runs a console program (orvik-install.exe by default) with the
        current directory cwd; returns (exit status, stdout, stderr) as bytes."""
        if not self.server_running:
            self.set_drives(self.layout or {})
        if program is None:
            if not self.install_exe.is_file():
                raise HarnessError(f"{self.install_exe} does not exist: build it first")
            program = WINE_DIR + r"\orvik-install.exe"
        # Files, not pipes: Wine's helper processes inherit the handles and
        # would keep a pipe open long after the program has ended.
        with tempfile.TemporaryFile(dir=self.root) as out, \
                tempfile.TemporaryFile(dir=self.root) as err:
            process = subprocess.Popen(["wine", program, *args], env=self.env,
                                       cwd=self.unix_path(cwd), stdin=subprocess.DEVNULL,
                                       stdout=out, stderr=err)
            try:
                status = process.wait(timeout)
            except subprocess.TimeoutExpired as error:
                process.kill()
                process.wait()
                raise DriverFailure(f"{program} {args}: no end after {timeout} s") from error
            out.seek(0)
            err.seek(0)
            return status, out.read(), err.read()

    def screenshot(self, path):
        _run(["import", "-display", self.display, "-window", "root", str(path)],
             self.env, 60, "screenshot")
        return path


def read_shell_link(data):
    """The target (local base path), working directory and description of
    a shell link file, read by its documented binary format."""
    header_size, = struct.unpack_from("<I", data, 0)
    flags, = struct.unpack_from("<I", data, 0x14)
    offset = header_size
    if flags & 0x1:  # item-id list
        offset += 2 + struct.unpack_from("<H", data, offset)[0]
    target = None
    if flags & 0x2:  # link info
        info_size, _, info_flags, _, base_offset = struct.unpack_from("<5I", data, offset)
        if info_flags & 0x1:
            start = offset + base_offset
            target = data[start:data.index(b"\0", start)].decode("cp1252")
        offset += info_size
    unicode = bool(flags & 0x80)
    strings = {}
    for bit, name in ((0x4, "description"), (0x8, "relative_path"),
                      (0x10, "working_dir"), (0x20, "arguments"), (0x40, "icon")):
        if flags & bit:
            count, = struct.unpack_from("<H", data, offset)
            size = count * 2 if unicode else count
            raw = data[offset + 2:offset + 2 + size]
            # Some writers count the terminator in.
            strings[name] = raw.decode("utf-16-le" if unicode else "cp1252").rstrip("\0")
            offset += 2 + size
    # The shell stores the target as it resolved it: the drive letter's
    # case is its own.
    target = target and target[:1].lower() + target[1:]
    return target, strings.get("working_dir"), strings.get("description")
