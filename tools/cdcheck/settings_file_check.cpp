#include "tools/cdcheck/settings_file_check.h"

#include <algorithm>
#include <vector>

#include "engine/ascii.h"
#include "engine/settings_file.h"
#include "tools/cdcheck/text_format.h"

namespace orvik::cdcheck {

namespace {

// Any letter finds where the patch lands; the place is the same for all.
constexpr char kProbeLanguage = 'e';

struct Position {
  std::size_t line;    // from 1
  std::size_t column;  // from 1
};

Position PositionOf(const std::string& bytes, std::size_t offset) {
  const std::size_t break_before = offset == 0 ? std::string::npos
                                               : bytes.rfind('\n', offset - 1);
  const std::size_t line_start =
      break_before == std::string::npos ? 0 : break_before + 1;
  const auto line_breaks = std::count(bytes.begin(), bytes.begin() + offset, '\n');
  return {static_cast<std::size_t>(line_breaks) + 1, offset - line_start + 1};
}

std::vector<std::size_t> Occurrences(const std::string& bytes, const std::string& text) {
  std::vector<std::size_t> found;
  for (auto at = bytes.find(text); at != std::string::npos;
       at = bytes.find(text, at + 1))
    found.push_back(at);
  return found;
}

// Points to a language line that differs only in case, the likely slip.
std::string CaseHint(const std::string& bytes) {
  const auto at = AsciiLowered(bytes).find(kLanguageLineText);
  if (at == std::string::npos) return "";
  return " ('" + bytes.substr(at, kLanguageLineLength) + "' in line " +
         std::to_string(PositionOf(bytes, at).line) + " differs in case)";
}

bool IsLanguageLetter(char c) { return c >= 'a' && c <= 'z'; }

}  // namespace

void CheckSettingsFile(const Cd& cd, const std::string& name_on_cd,
                       Diagnostics& out) {
  auto file = cd.Open(name_on_cd);
  if (!file) return;
  const FileContent content = ReadContent(*file, true);
  if (content.read_error) return;
  const std::string& bytes = content.bytes;
  const std::string display = DisplayName(name_on_cd);

  const auto lines = Occurrences(bytes, kLanguageLineText);
  if (lines.empty()) {
    out.Add(Rule::kSettingsFileNoLanguageLine, {display},
            std::string("no '") + kLanguageLineText +
                "' line (those 12 characters, in lower case): the product does not "
                "get the language chosen in Setup" +
                CaseHint(bytes));
    return;
  }
  std::string patched = bytes;
  LanguageLinePatcher patcher(kProbeLanguage);
  patcher.Patch(patched.data(), patched.size());
  if (const auto offset = patcher.patched_at()) {
    const char replaced = bytes[static_cast<std::size_t>(*offset)];
    const Position at = PositionOf(bytes, static_cast<std::size_t>(*offset));
    if (!IsLanguageLetter(replaced))
      out.Add(Rule::kSettingsFileNoLanguageLetter, {display, at.line, at.column},
              std::string("the byte after '") + kLanguageLineText + "' is " +
                  HexByte(static_cast<unsigned char>(replaced)) +
                  ", not a language letter: Setup overwrites it with the letter");
  } else {
    out.Add(Rule::kSettingsFileLanguageLineAtEnd,
            {display, PositionOf(bytes, lines.front()).line},
            std::string("'") + kLanguageLineText +
                "' ends the file: no byte follows it for the language letter, so "
                "the product does not get the language chosen in Setup");
  }
  if (lines.size() > 1)
    out.Add(Rule::kSettingsFileSecondLanguageLine,
            {display, PositionOf(bytes, lines[1]).line},
            std::string("a second '") + kLanguageLineText +
                "' line: Setup patches only the first, so this one keeps its letter");
}

}  // namespace orvik::cdcheck
