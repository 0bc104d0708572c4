#include "tools/cdcheck/message_file_check.h"

#include <algorithm>
#include <iterator>
#include <vector>

#include "engine/cd_format.h"
#include "engine/install_message.h"
#include "engine/line_reader.h"
#include "tools/cdcheck/cp1252.h"
#include "tools/cdcheck/text_format.h"

namespace orvik::cdcheck {

namespace {

using cd_format::kInstallFolder;

// The texts that Setup reads, by the lines they take, with what each is
// for in the author's words.
struct MessageText {
  std::size_t first;
  std::size_t count;
  std::size_t budget;
  const char* what;
};
constexpr MessageText Described(cd_format::MessageText text, const char* what) {
  return {text.first, text.count, text.budget, what};
}
constexpr MessageText kTexts[] = {
    Described(cd_format::kIntroductionText, "the introduction"),
    Described(cd_format::kDestFolderFailedText,
              "the text for a destination folder that cannot be created"),
    Described(cd_format::kCopyListMissingText, "the text for a copy list that is not found"),
    Described(cd_format::kFileFailedText, "the text for a file that cannot be read or copied"),
    Described(cd_format::kSuccessText, "the success text"),
};
static_assert(std::size(kTexts) == std::size(cd_format::kMessageTexts));
constexpr std::size_t kLastLineSetupReads = cd_format::kMessageLinesRead - 1;
using cd_format::kMarker;

std::string InInstallFolder(const std::string& name) { return kInstallFolder + name; }

bool IsShownLine(std::size_t read_line) {
  for (const auto& text : kTexts)
    if (read_line >= text.first && read_line < text.first + text.count) return true;
  return false;
}

// The reader sets the process's product version when it opens the legacy
// file; the check must leave it as it found it.
class ProductVersionKeeper {
 public:
  ProductVersionKeeper() : saved_(g_nProductVersion) {}
  ~ProductVersionKeeper() { g_nProductVersion = saved_; }
  ProductVersionKeeper(const ProductVersionKeeper&) = delete;
  ProductVersionKeeper& operator=(const ProductVersionKeeper&) = delete;

 private:
  int saved_;
};

// A message file as stored and as Setup's reader splits it.
struct MessageLines {
  std::vector<std::string> stored;  // the file's lines
  std::vector<std::string> read;    // the lines Setup reads
  std::vector<std::size_t> first_read_of_stored;
  std::vector<std::size_t> stored_of_read;
};

std::size_t PiecesOf(const std::string& stored_line) {
  return (stored_line.size() + kMessageLineBytes - 1) / kMessageLineBytes;
}

void MapLines(MessageLines& lines) {
  for (std::size_t s = 0; s < lines.stored.size(); ++s) {
    lines.first_read_of_stored.push_back(lines.stored_of_read.size());
    lines.stored_of_read.insert(lines.stored_of_read.end(),
                                PiecesOf(lines.stored[s]), s);
  }
}

// The editor's line (from 1) that holds read line `read_line`.
std::size_t EditorLine(const MessageLines& lines, std::size_t read_line) {
  if (read_line >= lines.stored_of_read.size()) return lines.stored.size();
  return lines.stored_of_read[read_line] + 1;
}

std::string TextAndLines(const MessageText& text) {
  return std::string(text.what) + " (" +
         LineRange(text.first, text.first + text.count - 1) + ")";
}

void CheckLineCount(const std::string& display, const MessageLines& lines,
                    Diagnostics& out) {
  const std::size_t have = lines.read.size();
  if (have >= cd_format::kMessageLinesRead) return;
  std::vector<std::string> affected;
  for (const auto& text : kTexts)
    if (text.first + text.count > have) affected.push_back(text.what);
  const std::string start =
      have == 0 ? std::string("the file is empty")
                : "the file ends after line " + std::to_string(have - 1);
  out.Add(Rule::kMessageFileMissingLines, {display, lines.stored.size()},
          start + ", but Setup reads " + LineRange(0, kLastLineSetupReads) + ": " +
              LineRange(have, kLastLineSetupReads) +
              (have == kLastLineSetupReads ? " is" : " are") +
              " missing, so Setup shows " + JoinWithAnd(affected) +
              " empty or cut short");
}

void CheckLongLines(const std::string& display, const MessageLines& lines,
                    Diagnostics& out) {
  for (std::size_t s = 0; s < lines.stored.size(); ++s) {
    const std::string& line = lines.stored[s];
    const std::size_t first_read = lines.first_read_of_stored[s];
    if (line.size() <= kMessageLineBytes || first_read > kLastLineSetupReads)
      continue;
    const std::size_t pieces = PiecesOf(line);
    const std::size_t last_read = first_read + pieces - 1;
    std::string message = "message line " + std::to_string(s) + " is " +
                          std::to_string(line.size()) +
                          " bytes long with its line end, more than the " +
                          std::to_string(kMessageLineBytes) +
                          " that Setup reads as one line: it is read as " +
                          LineRange(first_read, last_read);
    if (s < kLastLineSetupReads) {
      const std::size_t shift = last_read - s;
      message += ", so " + LineRange(s + 1, kLastLineSetupReads) +
                 " of the file " + (s + 1 == kLastLineSetupReads ? "is" : "are") +
                 " read as " +
                 LineRange(s + 1 + shift, kLastLineSetupReads + shift) +
                 " (what moves past line " + std::to_string(kLastLineSetupReads) +
                 " is never shown)";
    } else {
      message += ", and only its first " + std::to_string(kMessageLineBytes) +
                 " bytes are shown";
    }
    out.Add(Rule::kMessageFileLongLine, {display, s + 1, kMessageLineBytes + 1}, message);
  }
}

// Reports the first byte of one kind in a line, with how many more follow.
struct ByteFinding {
  std::size_t column = 0;
  unsigned char byte = 0;
  std::size_t more = 0;

  void Add(std::size_t at, unsigned char value) {
    if (column == 0) {
      column = at;
      byte = value;
    } else {
      ++more;
    }
  }
  std::string More() const {
    return more == 0 ? "" : " (and " + std::to_string(more) + " more in this line)";
  }
};

bool IsStrayControl(unsigned char byte) {
  return (byte < 0x20 && byte != '\r' && byte != '\n' && byte != '\t') || byte == 0x7F;
}

void CheckLineBytes(const std::string& display, std::size_t stored_line,
                    const std::string& line, Diagnostics& out) {
  ByteFinding nul, undefined, control;
  for (std::size_t i = 0; i < line.size(); ++i) {
    const auto byte = static_cast<unsigned char>(line[i]);
    if (byte == 0)
      nul.Add(i + 1, byte);
    else if (IsUndefinedInCp1252(byte))
      undefined.Add(i + 1, byte);
    else if (IsStrayControl(byte))
      control.Add(i + 1, byte);
  }
  const std::size_t editor_line = stored_line + 1;
  if (nul.column != 0)
    out.Add(Rule::kMessageFileNulByte, {display, editor_line, nul.column},
            "a NUL byte: Setup shows nothing of the line after it" + nul.More());
  if (undefined.column != 0)
    out.Add(Rule::kMessageFileUndefinedByte, {display, editor_line, undefined.column},
            "byte " + HexByte(undefined.byte) + " is not a character of Windows-1252" +
                undefined.More());
  if (control.column != 0)
    out.Add(Rule::kMessageFileControlCharacter, {display, editor_line, control.column},
            "control character " + HexByte(control.byte) +
                " in the text; only CR, LF and TAB belong there" + control.More());
}

// A CR belongs only right before the LF that ends the line; any other
// shows in the dialog, CR CR LF (a file given CR LF twice) as a blank line.
void CheckCarriageReturns(const std::string& display, std::size_t stored_line,
                          const std::string& line, Diagnostics& out) {
  const bool ends_in_cr_lf = line.size() >= 2 && line.compare(line.size() - 2, 2, "\r\n") == 0;
  const std::size_t end_cr = ends_in_cr_lf ? line.size() - 2 : std::string::npos;
  ByteFinding stray;
  for (std::size_t i = 0; i < line.size(); ++i)
    if (line[i] == '\r' && i != end_cr) stray.Add(i + 1, '\r');
  if (stray.column == 0) return;
  const bool doubled = ends_in_cr_lf && stray.column == line.size() - 2;
  out.Add(Rule::kMessageFileStrayCr, {display, stored_line + 1, stray.column},
          doubled ? std::string("the line ends in CR CR LF: the dialog shows an empty line "
                                "or a stray character after it (a file given CR LF twice); "
                                "convert the source once with orvik-cdcheck --convert")
                  : "a CR that ends no line: the dialog breaks the line there or shows a "
                    "stray character; line ends are CR LF" + stray.More());
}

void CheckBytes(const std::string& display, const MessageLines& lines,
                Diagnostics& out) {
  for (std::size_t s = 0; s < lines.stored.size(); ++s)
    if (IsShownLine(lines.first_read_of_stored[s])) {
      CheckLineBytes(display, s, lines.stored[s], out);
      CheckCarriageReturns(display, s, lines.stored[s], out);
    }
}

// How the message area draws a line: '&' marks the next character as
// underlined and is not drawn itself ("&&" draws one), a TAB moves to the
// next tab stop.
struct DrawnLine {
  unsigned pixels = 0;
  std::size_t first_cut_column = 0;  // from 1; 0 when it fits
  std::size_t first_hidden_ampersand = 0;  // from 1; 0 when none
};

DrawnLine DrawInMessageArea(const std::string& line) {
  DrawnLine drawn;
  const unsigned limit = cd_format::MessageAreaTextPixels();
  for (std::size_t i = 0; i < line.size(); ++i) {
    auto byte = static_cast<unsigned char>(line[i]);
    if (byte == '&') {
      if (i + 1 < line.size() && line[i + 1] == '&') {
        ++i;
      } else {
        if (drawn.first_hidden_ampersand == 0) drawn.first_hidden_ampersand = i + 1;
        continue;
      }
    }
    if (byte == '\t')
      drawn.pixels = (drawn.pixels / cd_format::kDialogTabStopPixels + 1) *
                     cd_format::kDialogTabStopPixels;
    else
      drawn.pixels += cd_format::DialogFontAdvance(byte);
    if (drawn.pixels > limit && drawn.first_cut_column == 0) drawn.first_cut_column = i + 1;
  }
  return drawn;
}

std::string WithoutLineEnd(std::string line) {
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
  return line;
}

// The introduction as the dialog draws it: each line of the text Setup
// read is a line of the message area.
void CheckIntroductionDrawing(const std::string& display, const MessageLines& lines,
                              Diagnostics& out) {
  const auto& intro = cd_format::kIntroductionText;
  for (std::size_t r = intro.first; r < intro.first + intro.count; ++r) {
    const std::string line = WithoutLineEnd(lines.read[r]);
    const DrawnLine drawn = DrawInMessageArea(line);
    const std::size_t editor_line = EditorLine(lines, r);
    if (drawn.first_cut_column != 0)
      out.Add(Rule::kMessageFileWiderThanMessageArea,
              {display, editor_line, drawn.first_cut_column},
              "message line " + std::to_string(r) + " is " + std::to_string(drawn.pixels) +
                  " pixels wide in the dialog's font, wider than the " +
                  std::to_string(cd_format::MessageAreaTextPixels()) +
                  " pixels of its message area: the dialog cuts it off from column " +
                  std::to_string(drawn.first_cut_column));
    if (drawn.first_hidden_ampersand != 0)
      out.Add(Rule::kMessageFileAmpersandPrefix,
              {display, editor_line, drawn.first_hidden_ampersand},
              "the dialog does not show this '&' but underlines the character after it; "
              "write && for an ampersand");
  }
}

void CheckEncoding(const std::string& display, const MessageLines& lines,
                   Diagnostics& out) {
  std::string all;
  std::size_t first_high = 0;
  for (std::size_t s = 0; s < lines.stored.size(); ++s) {
    const auto& line = lines.stored[s];
    const bool high = std::any_of(line.begin(), line.end(), [](char c) {
      return static_cast<unsigned char>(c) >= 0x80;
    });
    if (high && first_high == 0) first_high = s + 1;
    all += line;
  }
  if (!LooksLikeUtf8(all)) return;
  out.Add(Rule::kMessageFileUtf8, {display, first_high},
          "the text is UTF-8, but Setup shows it as Windows-1252 (\xE4 as \xC3\xA4): "
          "convert the source with orvik-cdcheck --convert SOURCE.txt TARGET.dat");
}

bool IsBlankText(const std::string& text) {
  return text.find_first_not_of(" \t\r\n") == std::string::npos;
}

std::size_t CountMarkers(const std::string& text) {
  std::size_t count = 0;
  for (auto at = text.find(kMarker); at != std::string::npos;
       at = text.find(kMarker, at + 2))
    ++count;
  return count;
}

// Where a marker stays: the last line of the text that holds one.
std::size_t LineOfLastMarker(const MessageLines& lines, const MessageText& text) {
  for (std::size_t r = text.first + text.count; r-- > text.first;)
    if (CountMarkers(lines.read[r]) > 0) return EditorLine(lines, r);
  return EditorLine(lines, text.first);
}

void CheckText(const Cd& cd, char language, const std::string& display,
               const MessageLines& lines, const MessageText& text,
               Diagnostics& out) {
  std::string shown;
  LoadInstallMessage(cd.files(), cd.drive(), language,
                     static_cast<unsigned>(text.first),
                     static_cast<unsigned>(text.count), shown);
  if (shown.find(kMarker) != std::string::npos)
    out.Add(Rule::kMessageFileVisibleMarker, {display, LineOfLastMarker(lines, text)},
            TextAndLines(text) +
                " keeps a visible backslash-n: Setup removes one marker for each "
                "line it reads, the earliest first, so " +
                (text.count == 1 ? std::string("the line may hold one marker")
                                 : "these " + std::to_string(text.count) +
                                       " lines may hold " + std::to_string(text.count) +
                                       " markers in all"));

  std::size_t bytes = 0;
  for (std::size_t r = text.first; r < text.first + text.count; ++r)
    bytes += lines.read[r].size();
  if (bytes > text.budget)
    out.Add(Rule::kMessageFileOverBudget, {display, EditorLine(lines, text.first)},
            TextAndLines(text) + " is " + std::to_string(bytes) +
                " bytes with its line ends; earlier releases of Setup hold at most " +
                std::to_string(text.budget));
  if (IsBlankText(shown))
    out.Add(Rule::kMessageFileEmptyText, {display, EditorLine(lines, text.first)},
            TextAndLines(text) + " is empty");
}

void CheckTexts(const Cd& cd, char language, const std::string& display,
                const MessageLines& lines, Diagnostics& out) {
  ProductVersionKeeper keep_version;
  for (const auto& text : kTexts)
    if (text.first + text.count <= lines.read.size())
      CheckText(cd, language, display, lines, text, out);
  const auto& intro = cd_format::kIntroductionText;
  if (intro.first + intro.count <= lines.read.size())
    CheckIntroductionDrawing(display, lines, out);
}

void ReportLanguagesWithoutFile(const std::map<char, bool>& own, bool legacy,
                                Diagnostics& out) {
  for (const auto& language : kLanguages) {
    if (own.at(language.letter)) continue;
    const Location missing{DisplayName(InInstallFolder(cd_format::MessageFileName(language.letter)))};
    const std::string reads = std::string("missing: for ") + language.name + " Setup ";
    if (legacy)
      out.Add(Rule::kMessageFileFallsToLegacy, missing,
              reads + "reads " + cd_format::kLegacyMessageFile +
                  " and takes the CD for version " +
                  std::to_string(cd_format::kLegacyProductVersion) + " (folder " +
                  cd_format::DefaultDestFolder(cd_format::kLegacyProductVersion) +
                  ", shortcut to " +
                  cd_format::ProgramName(cd_format::kLegacyProductVersion) + ")");
    else
      out.Add(Rule::kMessageFileMissingForLanguage, missing,
              reads + "shows no introduction, cannot find the CD by it, and its "
                      "outcome texts are empty");
  }
}

void ReportLayout(const std::map<char, bool>& own, bool legacy, int version,
                  Diagnostics& out) {
  const Location install{"install/"};
  if (version == 0) {
    out.Add(Rule::kMessageFileNone, install,
            "no message file: none of einstall.dat, dinstall.dat, finstall.dat, "
            "iinstall.dat or install.dat, so Setup shows no texts and finds no "
            "drive that holds the CD");
    return;
  }
  if (version == cd_format::kLegacyProductVersion) {
    out.Add(Rule::kMessageFileVersion, install,
            "version " + std::to_string(version) + " CD: the legacy " +
                cd_format::kLegacyMessageFile + " is read for every language");
    return;
  }
  std::vector<std::string> present;
  for (const auto& language : kLanguages)
    if (own.at(language.letter)) present.push_back(cd_format::MessageFileName(language.letter));
  out.Add(Rule::kMessageFileVersion, install,
          "version " + std::to_string(version) + " CD: message files " +
              JoinWithAnd(present));
  if (legacy)
    out.Add(Rule::kMessageFileLegacyBeside, {"install/install.dat"},
            "the legacy message file of a version 7 CD beside the language files, "
            "which win over it: Setup " +
                std::string(present.size() == std::size(kLanguages)
                                ? "never reads it"
                                : "reads it only for a language without a file "
                                  "of its own"));
  ReportLanguagesWithoutFile(own, legacy, out);
}

// Started from the CD, Setup's current folder is the CD's root, where it
// looks for a language file before the install folder.
void WarnAboutRootCopies(const Cd& cd, Diagnostics& out) {
  for (const auto& language : kLanguages) {
    const std::string name = cd_format::MessageFileName(language.letter);
    if (cd.Exists("\\" + name))
      out.Add(Rule::kMessageFileInRoot, {name},
              "in the CD's root folder: Setup started from the CD reads this file "
              "instead of install/" + name);
  }
}

}  // namespace

void CheckMessageFile(const Cd& cd, const std::string& name_on_cd,
                      char language, Diagnostics& out) {
  const std::string display = DisplayName(name_on_cd);
  auto stored_file = cd.Open(name_on_cd);
  auto read_file = cd.Open(name_on_cd);
  if (!stored_file || !read_file) {
    out.Add(Rule::kMessageFileUnreadable, {display}, "cannot be opened");
    return;
  }
  const FileLines stored = ReadLines(*stored_file, LineReader::kUnlimited);
  const FileLines read = ReadLines(*read_file, kMessageLineBytes);
  if (stored.read_error || read.read_error) {
    out.Add(Rule::kMessageFileUnreadable, {display},
            "cannot be read to its end: Setup takes a read error for the end of "
            "the file");
    return;
  }
  MessageLines lines{stored.lines, read.lines, {}, {}};
  MapLines(lines);
  CheckLineCount(display, lines, out);
  CheckLongLines(display, lines, out);
  CheckBytes(display, lines, out);
  CheckEncoding(display, lines, out);
  CheckTexts(cd, language, display, lines, out);
}

MessageFileUse CheckMessageFiles(const Cd& cd, Diagnostics& out) {
  std::map<char, bool> own;
  bool any_own = false;
  for (const auto& language : kLanguages) {
    own[language.letter] = cd.Exists(InInstallFolder(cd_format::MessageFileName(language.letter)));
    any_own = any_own || own[language.letter];
  }
  const bool legacy = cd.Exists(InInstallFolder(cd_format::kLegacyMessageFile));

  MessageFileUse use;
  use.product_version = any_own ? cd_format::kCurrentProductVersion : legacy ? cd_format::kLegacyProductVersion : 0;
  ReportLayout(own, legacy, use.product_version, out);

  char legacy_reader = 0;
  for (const auto& language : kLanguages) {
    const char letter = language.letter;
    if (own[letter]) {
      const std::string name = InInstallFolder(cd_format::MessageFileName(letter));
      use.file_of_language[letter] = DisplayName(name);
      use.version_of_language[letter] = cd_format::kCurrentProductVersion;
      CheckMessageFile(cd, name, letter, out);
    } else if (legacy) {
      use.file_of_language[letter] = DisplayName(InInstallFolder(cd_format::kLegacyMessageFile));
      use.version_of_language[letter] = cd_format::kLegacyProductVersion;
      if (legacy_reader == 0) legacy_reader = letter;
    }
  }
  if (legacy_reader != 0)
    CheckMessageFile(cd, InInstallFolder(cd_format::kLegacyMessageFile), legacy_reader, out);
  WarnAboutRootCopies(cd, out);
  return use;
}

}  // namespace orvik::cdcheck
