"""Runs Orvik Setup on a CD folder in a fresh private Wine prefix.

With a usable X display the real window opens for the user to click
through. Without one the dialog runs on a private Xvfb and is walked
through: the four languages, then OK; a screenshot of each step goes into
the output folder. Either way the installed files, the debug log and the
shortcuts on the desktop are printed at the end.
"""

import argparse
import os
import shutil
import subprocess
import sys
import time
from pathlib import Path

import wine_session
from wine_session import (IDC_MESSAGE, IDOK, LANGUAGE_BUTTONS, WineSession,
                          read_shell_link)

# Long enough for a person; the walk-through itself needs seconds.
INTERACTIVE_TIMEOUT_S = 3600
REPAINT_DELAY_S = 0.5


def display_is_usable(display):
    if not display:
        return False
    for probe in (["xdpyinfo"], ["xset", "q"]):
        try:
            return subprocess.run(probe, env={**os.environ, "DISPLAY": display},
                                  stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                  stderr=subprocess.DEVNULL, timeout=10).returncode == 0
        except FileNotFoundError:
            continue
        except subprocess.TimeoutExpired:
            return False
    return True


def run_interactive(session):
    print("Orvik Setup is open on your display; the program ends when you press "
          "OK or Cancel.")
    # From the CD's root, as a user starts it: Wine maps the folder to D:\.
    subprocess.run(["wine", "setup.exe"], cwd=session.drive_path("d"), env=session.env,
                   stdin=subprocess.DEVNULL, timeout=INTERACTIVE_TIMEOUT_S)


def run_walkthrough(session, out):
    out.mkdir(parents=True, exist_ok=True)
    for old in out.glob("*.png"):
        old.unlink()
    steps = ["01-english", "02-deutsch", "03-francais", "04-italiano",
             "05-english-again", "06-installed"]
    # Started by a console program, the dialog may not get the foreground
    # under Wine as it does when a user starts it: give it before each shot.
    script = ["wait-dialog", f"read {IDC_MESSAGE}", "activate", "pause"]
    for language in "dfie":
        script += [f"click {LANGUAGE_BUTTONS[language]}", f"read {IDC_MESSAGE}",
                   "activate", "pause"]
    script += [f"click-async {IDOK}", "wait-msgbox", "pause", "press-ok", "wait-exit"]
    shots = []

    def shoot(index):
        time.sleep(REPAINT_DELAY_S)  # let the window repaint before the picture
        shots.append(session.screenshot(out / f"{steps[index]}.png"))

    pauses = iter(range(len(steps)))
    run = session.drive(script, cwd="D:\\", program=r"D:\setup.exe",
                        on_pause=lambda _: shoot(next(pauses)))
    for step, read in zip(steps, run.of("read")):
        first_line = read["text"].split("\r\n")[0]
        print(f"  {step}: {first_line}")
    box = run.of("wait-msgbox")[0]
    print(f"  message box \"{box['caption']}\": {box['text'].strip()}")
    print(f"  exit status {run.exit_status}")
    print(f"Screenshots in {out}:")
    for shot in shots:
        print(f"  {shot.name}")


def report(session):
    installed = session.c_path("orvik8")
    print(f"\nInstalled files in c:\\orvik8:")
    if installed.is_dir():
        for path in sorted(installed.iterdir()):
            print(f"  {path.name:<14} {path.stat().st_size:>8} bytes")
    else:
        print("  (none)")
    print("\nDebug log c:\\windows\\debug.txt:")
    log = session.debug_log()
    print("  (none)" if log is None else
          "".join("  " + line + "\n" for line in log.decode("cp1252").split("\n")[:-1]),
          end="")
    print("\nShortcuts on the desktop:")
    links = sorted(session.desktop().glob("*.lnk"))
    for link in links:
        target, working_dir, description = read_shell_link(link.read_bytes())
        print(f"  {link.name}: target {target}, working folder {working_dir}, "
              f"\"{description}\"")
    if not links:
        print("  (none)")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--setup", required=True, type=Path, help="the built setup.exe")
    parser.add_argument("--ui-driver", required=True, type=Path, help="the built ui_driver.exe")
    parser.add_argument("--cd", type=Path, default=wine_session.SAMPLE_CD, help="the CD folder")
    parser.add_argument("--out", type=Path, default=Path("build/walkthrough"),
                        help="folder for the walk-through's screenshots")
    parser.add_argument("--headless", action="store_true",
                        help="walk through on Xvfb even when a display is there")
    args = parser.parse_args()

    display = os.environ.get("DISPLAY")
    interactive = not args.headless and display_is_usable(display)
    print("Making a fresh Wine prefix (some seconds)...")
    session = WineSession(args.setup, args.ui_driver,
                          display=display if interactive else None,
                          # A window of its own on a real display; on Xvfb a
                          # virtual desktop, so that Wine draws the frames.
                          virtual_desktop=not interactive)
    try:
        session.start()
        session.set_drives({"d": "cdrom"})
        cd = session.insert("d", args.cd)
        if not (cd / "setup.exe").exists():
            shutil.copy2(args.setup, cd / "setup.exe")
        if interactive:
            run_interactive(session)
        else:
            run_walkthrough(session, args.out.resolve())
        report(session)
    except (wine_session.HarnessError, wine_session.DriverFailure,
            subprocess.TimeoutExpired) as error:
        sys.exit(f"run-sample: {error}")
    finally:
        session.close()


if __name__ == "__main__":
    main()
