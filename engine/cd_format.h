// The Orvik CD as Setup reads it: every fact of its layout that the engine,
// the two installers, the CD checker and the tests share, stated once.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace orvik::cd_format {

// ---- The pressed image's root ---------------------------------------------
// AutoPlay opens autorun.inf, which starts setup.exe; a deployment tool
// starts orvik-install.exe.
inline constexpr char kSetupProgram[] = "setup.exe";
inline constexpr char kUnattendedInstaller[] = "orvik-install.exe";
inline constexpr char kAutorunFile[] = "autorun.inf";

// ---- Product versions ------------------------------------------------------
// A CD with a message file per language holds release 8; one with only the
// legacy message file holds release 7.
inline constexpr int kCurrentProductVersion = 8;
inline constexpr int kLegacyProductVersion = 7;

// "orvik8.exe": the product's program, the shortcut's target.
inline std::string ProgramName(int version) {
  return "orvik" + std::to_string(version) + ".exe";
}
// "orvik8.lnk": the desktop shortcut.
inline constexpr char kShortcutSuffix[] = ".lnk";
inline std::string ShortcutName(int version) {
  return "orvik" + std::to_string(version) + kShortcutSuffix;
}
// "Orvik 8.0 (Ostmarrow)": the shortcut's description.
inline std::string ShortcutDescription(int version) {
  return "Orvik " + std::to_string(version) + ".0 (Ostmarrow)";
}
// "c:\orvik8": the destination the dialog proposes.
inline std::string DefaultDestFolder(int version) {
  return "c:\\orvik" + std::to_string(version);
}

// ---- Drives ----------------------------------------------------------------
// Drive number 1 is A; number 0 (a current folder without a drive letter)
// gives '@', which names no drive.
inline constexpr char kNoDriveLetter = '@';
constexpr char DriveLetterOfNumber(int number) {
  return static_cast<char>(kNoDriveLetter + number);
}

// ---- Languages -------------------------------------------------------------
struct Language {
  char letter;
  const char* name;  // Windows-1252, as the dialog shows it
};
// In the dialog's order.
inline constexpr Language kLanguages[] = {
    {'e', "English"}, {'d', "Deutsch"}, {'f', "Fran\xE7" "ais"}, {'i', "Italiano"}};

// ---- Message files ---------------------------------------------------------
inline constexpr char kInstallFolder[] = "\\install\\";
// "<letter>install.dat" in the current folder, then in \install\ of the
// source; the legacy "install.dat" there marks release 7.
inline constexpr char kMessageFileSuffix[] = "install.dat";
inline constexpr char kLegacyMessageFile[] = "install.dat";
// "einstall.dat"
inline std::string MessageFileName(char language) {
  return std::string(1, language) + kMessageFileSuffix;
}

// A line, for counting, is at most this many bytes with its line end; a
// longer one is read as two or more.
inline constexpr std::size_t kMessageLineBytes = 199;

// The texts that Setup reads, by line number, with the byte budget that
// releases before this one could show (their buffers held 400 and 300
// bytes with the terminator). This reader shows longer texts whole.
struct MessageText {
  unsigned first;
  unsigned count;
  std::size_t budget;
};
inline constexpr std::size_t kIntroductionBudget = 399;
inline constexpr std::size_t kOutcomeBudget = 299;
inline constexpr MessageText kIntroductionText{0, 3, kIntroductionBudget};
inline constexpr MessageText kDestFolderFailedText{4, 2, kOutcomeBudget};
inline constexpr MessageText kCopyListMissingText{6, 2, kOutcomeBudget};
// A file on the CD that cannot be read, or its copy that cannot be made.
inline constexpr MessageText kFileFailedText{9, 3, kOutcomeBudget};
inline constexpr MessageText kSuccessText{13, 1, kOutcomeBudget};
inline constexpr MessageText kMessageTexts[] = {
    kIntroductionText, kDestFolderFailedText, kCopyListMissingText,
    kFileFailedText, kSuccessText};
// Lines 0 to 13; 3, 8 and 12 are never read.
inline constexpr unsigned kMessageLinesRead = 14;

// ---- The dialog's message area --------------------------------------------
// The introduction (lines 0-2) is shown there, one line per line, without
// word wrap: what runs past the right edge is cut off.
//
// Advance widths in pixels of the dialog's font, MS Sans Serif 8 pt at
// 96 DPI, for the bytes 0x20-0xFF of Windows-1252: the 8-point face of
// sserife.fon from Debian's fonts-wine, the bitmap font that Wine draws the
// dialog with (its widths match the font of that name in Windows). Bytes
// below 0x20 have no glyph; TAB is expanded by the control.
inline constexpr unsigned char kDialogFontFirstByte = 0x20;
inline constexpr unsigned char kDialogFontAdvance[256 - kDialogFontFirstByte] = {
    /* 20 */  3,  3,  5,  7,  6,  8,  6,  2,  3,  3,  4,  6,  3,  3,  3,  5,
    /* 30 */  6,  6,  6,  6,  6,  6,  6,  6,  6,  6,  3,  3,  6,  6,  6,  6,
    /* 40 */ 11,  7,  7,  7,  8,  7,  6,  8,  8,  3,  5,  7,  6,  9,  8,  8,
    /* 50 */  7,  8,  8,  7,  7,  8,  7, 11,  7,  7,  7,  3,  5,  3,  6,  6,
    /* 60 */  3,  6,  6,  6,  6,  6,  3,  6,  6,  2,  2,  6,  2,  8,  6,  6,
    /* 70 */  6,  6,  3,  5,  3,  6,  6,  8,  5,  5,  5,  4,  2,  4,  7,  3,
    /* 80 */  6,  3,  3,  3,  5,  6,  5,  5,  3, 11,  7,  6, 10,  3,  7,  3,
    /* 90 */  3,  3,  3,  4,  4,  6,  5,  6,  3,  9,  5,  6, 10,  3,  5,  7,
    /* A0 */  3,  3,  6,  6,  6,  6,  2,  6,  3,  9,  4,  6,  6,  3,  8,  6,
    /* B0 */  4,  6,  3,  3,  3,  6,  6,  3,  3,  3,  4,  6,  8,  8,  8,  6,
    /* C0 */  7,  7,  7,  7,  7,  7, 10,  7,  7,  7,  7,  7,  3,  3,  3,  3,
    /* D0 */  8,  8,  8,  8,  8,  8,  8,  6,  8,  8,  8,  8,  8,  7,  7,  6,
    /* E0 */  6,  6,  6,  6,  6,  6, 10,  6,  6,  6,  6,  6,  2,  4,  4,  4,
    /* F0 */  6,  6,  6,  6,  6,  6,  6,  6,  6,  6,  6,  6,  6,  5,  6,  5,
};
// The font's average character width, from its header: a TAB moves to the
// next multiple of eight of them.
inline constexpr unsigned kDialogFontAverageWidth = 5;
inline constexpr unsigned kDialogTabStopPixels = 8 * kDialogFontAverageWidth;

constexpr unsigned DialogFontAdvance(unsigned char byte) {
  return byte < kDialogFontFirstByte ? 0 : kDialogFontAdvance[byte - kDialogFontFirstByte];
}

// The horizontal dialog base unit: the mean width of A-Z and a-z, rounded,
// as Windows derives it from the dialog's font.
constexpr unsigned DialogBaseUnitX() {
  unsigned sum = 0;
  for (unsigned char c = 'A'; c <= 'Z'; ++c) sum += DialogFontAdvance(c);
  for (unsigned char c = 'a'; c <= 'z'; ++c) sum += DialogFontAdvance(c);
  return (sum / 26 + 1) / 2;
}

// IDC_MESSAGE in ui/setup.rc is 244 dialog units wide; its modal frame and
// sunken edge take 4 pixels on each side.
inline constexpr unsigned kMessageAreaWidthUnits = 244;
inline constexpr unsigned kMessageAreaFramePixels = 2 * 4;
constexpr unsigned MessageAreaTextPixels() {
  return kMessageAreaWidthUnits * DialogBaseUnitX() / 4 - kMessageAreaFramePixels;
}
static_assert(DialogBaseUnitX() == 6 && MessageAreaTextPixels() == 358);

// The marker that the reader removes, one per read.
inline constexpr char kMarker[] = "\\n";

// ---- Copy lists ------------------------------------------------------------
// "<letter>opylist.dat" in \install\ of the source (or at the root of the
// copy-list drive); when the language's own is missing, English, then the
// language-free one.
inline constexpr char kCopyListSuffix[] = "opylist.dat";
// "copylist.dat": the list without a language, the last fallback.
inline constexpr char kLanguageFreeCopyList = 'c';
inline constexpr char kCopyListFallbacks[] = {'e', kLanguageFreeCopyList};
inline constexpr char kDefaultCopyListName[] = "eopylist.dat";

// "\install\dopylist.dat"
inline std::string CopyListOnSource(char letter) {
  return kInstallFolder + std::string(1, letter) + kCopyListSuffix;
}
// The letters of the copy lists tried for a language, in order.
inline std::vector<char> CopyListLetters(char language) {
  std::vector<char> letters{language};
  for (const char fallback : kCopyListFallbacks)
    if (fallback != language) letters.push_back(fallback);
  return letters;
}

// The longest line, line break included, that the format allows; earlier
// releases read the rest of a longer one as a line of its own.
inline constexpr std::size_t kCopyListLineBytes = 99;

inline constexpr char kKeepExistingMark = '$';
inline constexpr char kCopyListDriveMark = ':';

// Positions 0-3 and 6 name files that must be on the CD but are not copied.
constexpr bool IsCheckOnlyPosition(std::size_t position) {
  return position <= 3 || position == 6;
}

// ---- Settings files and data files ------------------------------------------
// Recognised by the destination name, ignoring case.
inline constexpr char kStartupSettingsName[] = "\\startup.mar";
inline constexpr char kFactorySettingsName[] = "\\factory.mar";
// Case-sensitive; the byte after it becomes the language letter.
inline constexpr char kLanguageLineText[] = "51 language ";
// Appended to startup.mar with the CD-drive letter and a line feed.
inline constexpr char kCdDriveLineText[] = "18 cd drive ";

// Left by an earlier installation; deleted once the new files are in.
inline constexpr const char* kStaleDataFiles[] = {"astdata.ast", "astdata.lim"};

}  // namespace orvik::cd_format
