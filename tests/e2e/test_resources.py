"""What the built setup.exe carries: its dialog template and icon, read
from the PE resource directory, and its imports and subsystem."""

import os
import re
import shutil
import struct
import subprocess
import unittest
from pathlib import Path

from pe_image import RT_DIALOG, RT_GROUP_ICON, RT_ICON, pe_resources

LANG_EN_US = 0x409

WS_POPUP, WS_CHILD, WS_VISIBLE = 0x80000000, 0x40000000, 0x10000000
WS_CAPTION, WS_BORDER, WS_SYSMENU = 0xC00000, 0x800000, 0x80000
WS_GROUP, WS_TABSTOP = 0x20000, 0x10000
DS_SETFONT, DS_MODALFRAME = 0x40, 0x80
WS_EX_DLGMODALFRAME, WS_EX_APPWINDOW = 0x1, 0x40000
SS_LEFTNOWORDWRAP, SS_SUNKEN = 0xC, 0x1000
ES_LEFT, ES_AUTOHSCROLL = 0x0, 0x80
BS_PUSHBUTTON, BS_AUTORADIOBUTTON = 0x0, 0x9
CONTROL_CLASSES = {0x80: "button", 0x81: "edit", 0x82: "static"}

RADIO = WS_CHILD | WS_VISIBLE | BS_AUTORADIOBUTTON
PUSH = WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON
# id, class, text, x, y, cx, cy, style, extended style; in tab order.
EXPECTED_CONTROLS = [
    (1012, "static", "Stat", 62, 7, 244, 58,
     WS_CHILD | WS_VISIBLE | WS_GROUP | SS_LEFTNOWORDWRAP | SS_SUNKEN, WS_EX_DLGMODALFRAME),
    (1005, "edit", "", 7, 74, 198, 14,
     WS_CHILD | WS_VISIBLE | WS_BORDER | WS_TABSTOP | ES_LEFT | ES_AUTOHSCROLL, 0),
    (1, "button", "OK", 213, 74, 44, 14, PUSH, 0),
    (2, "button", "Cancel", 260, 74, 46, 14, PUSH, 0),
    (1008, "button", "&English", 7, 7, 49, 10, RADIO, 0),
    (1009, "button", "&Deutsch", 7, 22, 49, 10, RADIO, 0),
    (1010, "button", "&Fran\u00e7ais", 7, 37, 49, 10, RADIO, 0),
    (1011, "button", "&Italiano", 7, 52, 49, 10, RADIO, 0),
]


def setup_exe():
    path = os.environ.get("ORVIK_E2E_SETUP_EXE")
    if not path:
        raise unittest.SkipTest("ORVIK_E2E_SETUP_EXE is not set")
    return Path(path)


class Reader:
    def __init__(self, data):
        self.data, self.pos = data, 0

    def take(self, fmt):
        values = struct.unpack_from("<" + fmt, self.data, self.pos)
        self.pos += struct.calcsize("<" + fmt)
        return values if len(values) > 1 else values[0]

    def text(self):
        end = self.pos
        while self.data[end:end + 2] != b"\0\0":
            end += 2
        value = self.data[self.pos:end].decode("utf-16-le")
        self.pos = end + 2
        return value

    def name_or_ordinal(self):
        if self.data[self.pos:self.pos + 2] == b"\xff\xff":
            self.pos += 2
            return self.take("H")
        return self.text()

    def align(self):
        self.pos = (self.pos + 3) & ~3


def parse_dialog_ex(data):
    r = Reader(data)
    version, signature, help_id, ex_style, style, count, x, y, cx, cy = r.take("HHIIIHhhhh")
    dialog = dict(version=version, signature=signature, help_id=help_id,
                  ex_style=ex_style, style=style, rect=(x, y, cx, cy),
                  menu=r.name_or_ordinal(), window_class=r.name_or_ordinal(),
                  caption=r.text())
    if style & DS_SETFONT:
        dialog.update(zip(("points", "weight", "italic", "charset"), r.take("HHBB")))
        dialog["font"] = r.text()
    controls = []
    for _ in range(count):
        r.align()
        help_id, ex_style, style, x, y, cx, cy, control_id = r.take("IIIhhhhI")
        window_class = r.name_or_ordinal()
        if isinstance(window_class, int):
            window_class = CONTROL_CLASSES.get(window_class, window_class)
        else:
            window_class = window_class.lower()
        text = r.name_or_ordinal()
        extra = r.take("H")
        r.pos += extra
        controls.append(dict(help_id=help_id, ex_style=ex_style, style=style,
                             rect=(x, y, cx, cy), id=control_id,
                             window_class=window_class, text=text, extra=extra))
    return dialog, controls


class ResourceTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.resources = pe_resources(setup_exe().read_bytes())

    def resource(self, kind, name):
        found = {language: data for (k, n, language), data in self.resources.items()
                 if (k, n) == (kind, name)}
        self.assertEqual(list(found), [LANG_EN_US], f"resource {kind}/{name}")
        return found[LANG_EN_US]

    def test_dialog_template(self):
        dialog, controls = parse_dialog_ex(self.resource(RT_DIALOG, 102))
        self.assertEqual((dialog["version"], dialog["signature"]), (1, 0xFFFF),
                         "the extended template form")
        self.assertEqual(dialog["rect"], (0, 0, 314, 95))
        self.assertEqual(dialog["style"], WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU
                         | DS_MODALFRAME | DS_SETFONT)
        self.assertEqual(dialog["ex_style"], WS_EX_APPWINDOW)
        self.assertEqual(dialog["help_id"], 0)
        self.assertEqual((dialog["menu"], dialog["window_class"]), ("", ""))
        self.assertEqual(dialog["caption"], "Orvik Setup")
        self.assertEqual((dialog["font"], dialog["points"], dialog["weight"],
                          dialog["italic"], dialog["charset"]), ("MS Sans Serif", 8, 0, 0, 1))

        self.assertEqual([c["id"] for c in controls], [c[0] for c in EXPECTED_CONTROLS])
        for control, expected in zip(controls, EXPECTED_CONTROLS):
            control_id, window_class, text, x, y, cx, cy, style, ex_style = expected
            with self.subTest(control=control_id):
                self.assertEqual(control["window_class"], window_class)
                self.assertEqual(control["text"], text)
                self.assertEqual(control["rect"], (x, y, cx, cy))
                self.assertEqual(hex(control["style"]), hex(style))
                self.assertEqual(hex(control["ex_style"]), hex(ex_style))
                self.assertEqual(control["help_id"], 0)
                self.assertEqual(control["extra"], 0)

    def test_icon_has_a_32_and_a_16_pixel_16_colour_image(self):
        groups = sorted(n for (k, n, _) in self.resources if k == RT_GROUP_ICON)
        self.assertEqual(groups[0], 128, "the first icon is the one the shell shows")
        group = self.resource(RT_GROUP_ICON, 128)
        reserved, kind, count = struct.unpack_from("<HHH", group, 0)
        self.assertEqual((reserved, kind, count), (0, 1, 2))
        sizes = []
        for i in range(count):
            width, height, colours, _, planes, bits, size, icon_id = struct.unpack_from(
                "<BBBBHHIH", group, 6 + 14 * i)
            sizes.append((width, height))
            self.assertEqual((colours, planes, bits), (16, 1, 4))
            image = self.resource(RT_ICON, icon_id)
            self.assertEqual(len(image), size)
            # The image's own header: its height covers the colour and the
            # mask bitmaps.
            header_size, w, h, planes, bits = struct.unpack_from("<IiiHH", image, 0)
            self.assertEqual((header_size, w, h, planes, bits), (40, width, 2 * height, 1, 4))
        self.assertEqual(sorted(sizes), [(16, 16), (32, 32)])


class ImageTest(unittest.TestCase):
    def test_only_windows_dlls_and_the_gui_subsystem(self):
        objdump = (os.environ.get("ORVIK_E2E_OBJDUMP")
                   or shutil.which("x86_64-w64-mingw32-objdump"))
        self.assertTrue(objdump, "x86_64-w64-mingw32-objdump is not installed")
        dump = subprocess.run([objdump, "-p", str(setup_exe())], check=True,
                              capture_output=True, text=True).stdout
        dlls = {d.lower() for d in re.findall(r"DLL Name: (\S+)", dump)}
        windows = {"kernel32.dll", "user32.dll", "gdi32.dll", "shell32.dll", "ole32.dll",
                   "oleaut32.dll", "comctl32.dll", "comdlg32.dll", "msvcrt.dll",
                   "advapi32.dll", "shlwapi.dll", "version.dll"}
        self.assertIn("user32.dll", dlls)
        self.assertLessEqual(dlls, windows, "imports beyond Windows' own DLLs")
        self.assertRegex(dump, r"Subsystem\s+00000002\s+\(Windows GUI\)")


if __name__ == "__main__":
    unittest.main()
