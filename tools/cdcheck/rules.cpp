#include "tools/cdcheck/rules.h"

namespace orvik::cdcheck {

namespace {

constexpr Severity E = Severity::kError;
constexpr Severity W = Severity::kWarning;
constexpr Severity N = Severity::kNote;

// In the order of Rule.
constexpr RuleInfo kRules[] = {
    {"message-file/none", E, "The CD has no message file at all",
     "Put the four message files einstall.dat, dinstall.dat, finstall.dat and iinstall.dat"
     " into the install folder."},
    {"message-file/product-version", N, "The product version the message files make",
     "Nothing to do: version 8 needs all four language files, version 7 only install.dat."},
    {"message-file/legacy-beside-language-files", W,
     "The legacy install.dat beside the language files, which win over it",
     "Remove install/install.dat from a version 8 CD."},
    {"message-file/missing-for-language", E, "A language has no message file",
     "Add the language's message file: all four are required, even for a CD in fewer "
     "languages."},
    {"message-file/language-falls-to-legacy", E,
     "A language without its own file reads install.dat and turns Setup into version 7",
     "Add the language's own message file, or remove install.dat and give every language "
     "its file."},
    {"message-file/copy-in-root", W,
     "A language file in the CD's root, which Setup started from the CD reads first",
     "Keep message files in the install folder only."},
    {"message-file/unreadable", E, "A message file cannot be opened or read to its end",
     "Make the file readable; on an image, rebuild the image."},
    {"message-file/missing-lines", E, "The file ends before line 13",
     "Give the file all 14 lines, 0 to 13; write a - on the lines that are never shown."},
    {"message-file/long-line", E,
     "A line over 199 bytes with its line end, which Setup reads as two",
     "Shorten the line to at most 199 bytes with its line end, or split the text over its "
     "lines."},
    {"message-file/nul-byte", E, "A NUL byte in a shown line",
     "Remove the NUL byte: the file is text, made with orvik-cdcheck --convert."},
    {"message-file/undefined-byte", W, "A byte that is no character of Windows-1252",
     "Replace the byte with a character of Windows-1252, or write the text in UTF-8 and "
     "convert it with orvik-cdcheck --convert."},
    {"message-file/control-character", W, "A control character in a shown line",
     "Remove the control character; only CR LF line ends and TAB belong in a text."},
    {"message-file/utf8-text", E,
     "Text saved as UTF-8, which the dialog shows as Windows-1252 (\xC3\xA4 for \xE4)",
     "Convert the file with orvik-cdcheck --convert SOURCE.txt TARGET.dat, which writes "
     "Windows-1252."},
    {"message-file/visible-marker", W, "A backslash-n marker that Setup's reader leaves visible",
     "Keep at most one backslash-n marker per line read."},
    {"message-file/over-budget", W, "A text longer than earlier releases of Setup hold",
     "Shorten the text to 399 bytes (introduction) or 299 bytes (each outcome text) with "
     "its line ends."},
    {"message-file/empty-text", W, "A text that Setup shows is empty",
     "Write the text: the customer sees an empty message otherwise."},
    {"copy-list/none-for-language", E, "A language has no copy list at all",
     "Add the language's copy list, or at least install/eopylist.dat."},
    {"copy-list/fallback", W, "A language is installed by another language's copy list",
     "Add the language's own copy list if it should install other files."},
    {"copy-list/unreadable", E, "A copy list cannot be opened or read to its end",
     "Make the file readable; on an image, rebuild the image."},
    {"copy-list/bad-header", E, "The header is not a number",
     "Begin the list with the number of entries, a blank and 0, e.g. 12 0."},
    {"copy-list/missing-entries", E, "Fewer entry lines than the header announces",
     "Make the header's number match the entry lines that follow."},
    {"copy-list/entry-without-name", E, "An entry line holds no name",
     "Write a path on the CD on every entry line, e.g. \\prog\\orvik8.exe."},
    {"copy-list/no-entries", W, "The header announces no entries",
     "Give the header the number of entries that follow."},
    {"copy-list/unread-lines", W, "Lines after the announced entries, never read",
     "Count these lines in the header, or remove them."},
    {"copy-list/long-line", W, "A line over 99 bytes",
     "Shorten the line to at most 99 bytes."},
    {"copy-list/copy-list-drive-name", E, "A name beginning with ':', which Setup cannot open",
     "Remove the leading ':' so that the file is taken from the CD."},
    {"copy-list/source-missing", E, "An entry's file is not on the CD",
     "Put the file on the CD at that path, or correct the name in the copy list."},
    {"copy-list/source-unreadable", E, "An entry's file cannot be read to its end",
     "Make the file readable; on an image, rebuild the image."},
    {"copy-list/no-destination-name", E, "No file name in the destination folder can be formed",
     "Give the file a plain name, not a device name such as nul or con."},
    {"copy-list/duplicate-destination", W,
     "Two entries land on the same destination name, compared ignoring case",
     "Rename one of the two files, or remove the entry that is overwritten."},
    {"copy-list/keep-existing-never-copied", W,
     "A '$' entry after a copy of the same name, never copied",
     "Remove the '$' entry or the earlier copy of the same name."},
    {"copy-list/keep-existing", N, "A '$' entry keeps the user's copy on reinstallation",
     "Nothing to do if the user's copy should be kept on reinstallation."},
    {"copy-list/keep-existing-check-only", N, "A '$' at a position that is only checked",
     "Move the '$' entry to a copied position (4, 5 or 7 onward), or drop the '$'."},
    {"copy-list/deleted-after-copy", W, "A copied data file that Setup deletes afterwards",
     "Do not install files named astdata.ast or astdata.lim."},
    {"copy-list/shortcut-target-missing", E,
     "The copy list does not install the program the desktop shortcut points to",
     "Copy the program the shortcut points to at a copied position (4, 5 or 7 onward)."},
    {"settings-file/no-language-line", E, "A copied settings file has no '51 language ' line",
     "Add a line '51 language e' (lower case, one blank each) to the settings file."},
    {"settings-file/language-line-at-end", E,
     "'51 language ' ends the file, with no byte for the letter",
     "End the language line with its letter and a line end."},
    {"settings-file/no-language-letter", W, "The byte after '51 language ' is no letter",
     "Write the letter right after '51 language '."},
    {"settings-file/second-language-line", W, "A second '51 language ' line, never patched",
     "Keep one '51 language ' line per settings file."},
    {"message-file/stray-cr", E,
     "A CR that ends no line, such as the first CR of CR CR LF: an empty line or a stray "
     "character in the dialog",
     "Convert the file once with orvik-cdcheck --convert: it writes every line end as one "
     "CR LF."},
    {"message-file/wider-than-message-area", W,
     "An introduction line wider than the dialog's message area, which cuts off its end",
     "Shorten the line, or move words to the next line of the introduction: lines 0 to 2 "
     "each have 358 pixels."},
    {"message-file/ampersand-prefix", W,
     "An '&' in the introduction, which the dialog takes as the mark of an underlined "
     "letter and does not show",
     "Write && for an ampersand that is to be seen."},
    {"image/missing-root-file", E,
     "The image's root lacks setup.exe, orvik-install.exe or autorun.inf",
     "Build the image with scripts/make-cd-image.sh, which puts the programs and "
     "autorun.inf at its root."},
};
static_assert(sizeof(kRules) / sizeof(kRules[0]) == kRuleCount,
              "one entry per rule, in the order of Rule");

}  // namespace

const char* SeverityName(Severity severity) {
  switch (severity) {
    case Severity::kError: return "error";
    case Severity::kWarning: return "warning";
    case Severity::kNote: return "note";
  }
  return "note";
}

const RuleInfo& InfoOf(Rule rule) { return kRules[static_cast<std::size_t>(rule)]; }

Rule RuleAt(std::size_t index) { return static_cast<Rule>(index); }

}  // namespace orvik::cdcheck
