#include "tools/cdcheck/rules.h"

namespace orvik::cdcheck {

namespace {

constexpr Severity E = Severity::kError;
constexpr Severity W = Severity::kWarning;
constexpr Severity N = Severity::kNote;

// In the order of Rule.
constexpr RuleInfo kRules[] = {
    {"message-file/none", E, "The CD has no message file at all"},
    {"message-file/product-version", N, "The product version the message files make"},
    {"message-file/legacy-beside-language-files", W,
     "The legacy install.dat beside the language files, which win over it"},
    {"message-file/missing-for-language", E, "A language has no message file"},
    {"message-file/language-falls-to-legacy", E,
     "A language without its own file reads install.dat and turns Setup into version 7"},
    {"message-file/copy-in-root", W,
     "A language file in the CD's root, which Setup started from the CD reads first"},
    {"message-file/unreadable", E, "A message file cannot be opened or read to its end"},
    {"message-file/missing-lines", E, "The file ends before line 13"},
    {"message-file/long-line", E, "A line over 199 bytes, which Setup reads as two"},
    {"message-file/nul-byte", E, "A NUL byte in a shown line"},
    {"message-file/undefined-byte", W, "A byte that is no character of Windows-1252"},
    {"message-file/control-character", W, "A control character in a shown line"},
    {"message-file/utf8-text", W, "Text saved as UTF-8, shown as Windows-1252"},
    {"message-file/visible-marker", W, "A backslash-n marker that Setup's reader leaves visible"},
    {"message-file/over-budget", W, "A text longer than earlier releases of Setup hold"},
    {"message-file/empty-text", W, "A text that Setup shows is empty"},
    {"copy-list/none-for-language", E, "A language has no copy list at all"},
    {"copy-list/fallback", W, "A language is installed by another language's copy list"},
    {"copy-list/unreadable", E, "A copy list cannot be opened or read to its end"},
    {"copy-list/bad-header", E, "The header is not a number"},
    {"copy-list/missing-entries", E, "Fewer entry lines than the header announces"},
    {"copy-list/entry-without-name", E, "An entry line holds no name"},
    {"copy-list/no-entries", W, "The header announces no entries"},
    {"copy-list/unread-lines", W, "Lines after the announced entries, never read"},
    {"copy-list/long-line", W, "A line over 99 bytes"},
    {"copy-list/copy-list-drive-name", E, "A name beginning with ':', which Setup cannot open"},
    {"copy-list/source-missing", E, "An entry's file is not on the CD"},
    {"copy-list/source-unreadable", E, "An entry's file cannot be read to its end"},
    {"copy-list/no-destination-name", E, "No file name in the destination folder can be formed"},
    {"copy-list/duplicate-destination", W,
     "Two entries land on the same destination name, compared ignoring case"},
    {"copy-list/keep-existing-never-copied", W,
     "A '$' entry after a copy of the same name, never copied"},
    {"copy-list/keep-existing", N, "A '$' entry keeps the user's copy on reinstallation"},
    {"copy-list/keep-existing-check-only", N, "A '$' at a position that is only checked"},
    {"copy-list/deleted-after-copy", W, "A copied data file that Setup deletes afterwards"},
    {"copy-list/shortcut-target-missing", E,
     "The copy list does not install the program the desktop shortcut points to"},
    {"settings-file/no-language-line", E, "A copied settings file has no '51 language ' line"},
    {"settings-file/language-line-at-end", E,
     "'51 language ' ends the file, with no byte for the letter"},
    {"settings-file/no-language-letter", W, "The byte after '51 language ' is no letter"},
    {"settings-file/second-language-line", W, "A second '51 language ' line, never patched"},
    {"image/missing-root-file", E,
     "The image's root lacks setup.exe, orvik-install.exe or autorun.inf"},
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
