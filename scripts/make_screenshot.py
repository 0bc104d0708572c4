"""Takes the picture of Orvik Setup for the README: the dialog with the
English introduction of the sample CD, as Wine draws it on a private Xvfb,
cut out of the screen with a small margin."""

import argparse
import shutil
import subprocess
import sys
import tempfile
import time
from pathlib import Path

import wine_session
from wine_session import IDC_MESSAGE, IDCANCEL, WineSession

MARGIN = 8
REPAINT_DELAY_S = 0.5
# ImageMagick 6 by its full name: a "convert" earlier on PATH may be
# another program.
CONVERT = "/usr/bin/convert-im6.q16"


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--setup", required=True, type=Path, help="the built setup.exe")
    parser.add_argument("--ui-driver", required=True, type=Path, help="the built ui_driver.exe")
    parser.add_argument("--out", required=True, type=Path, help="the PNG to write")
    args = parser.parse_args()

    session = WineSession(args.setup, args.ui_driver)
    try:
        print("Making a fresh Wine prefix (some seconds)...")
        session.start()
        session.set_drives({"d": "cdrom"})
        cd = session.insert("d", wine_session.SAMPLE_CD)
        shutil.copy2(args.setup, cd / "setup.exe")
        screen = Path(tempfile.mkdtemp(dir=session.root)) / "screen.png"

        def shoot(_):
            time.sleep(REPAINT_DELAY_S)  # let the activated window repaint
            session.screenshot(screen)

        # Started from the CD as a user starts it; activated, because a
        # console parent keeps the foreground under Wine.
        run = session.drive(["wait-dialog", f"read {IDC_MESSAGE}", "activate", "geometry",
                             "pause", f"click {IDCANCEL}", "wait-exit"],
                            cwd="D:\\", program=r"D:\setup.exe", on_pause=shoot)
        print("Introduction:", run.of("read")[0]["text"].split("\r\n")[0])
        left, top, right, bottom = run.of("geometry")[0]["window"]
        x, y = max(left - MARGIN, 0), max(top - MARGIN, 0)
        width, height = right + MARGIN - x, bottom + MARGIN - y
        args.out.parent.mkdir(parents=True, exist_ok=True)
        subprocess.run([CONVERT, str(screen), "-crop", f"{width}x{height}+{x}+{y}",
                        "+repage", "-strip", str(args.out)], check=True)
        print(f"{args.out}: {width}x{height}, {args.out.stat().st_size} bytes")
    except (wine_session.HarnessError, wine_session.DriverFailure,
            subprocess.CalledProcessError) as error:
        sys.exit(f"make-screenshot: {error}")
    finally:
        session.close()


if __name__ == "__main__":
    main()
