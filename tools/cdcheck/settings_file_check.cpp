#include "tools/cdcheck/settings_file_check.h"

#include <cstdint>
#include <optional>
#include <utility>
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

// Finds "51 language " in bytes that arrive in blocks; `fold` compares
// ignoring case. Its first character occurs nowhere else in it, so a
// mismatch can start a match afresh at the byte that broke it.
class LineTextMatcher {
 public:
  explicit LineTextMatcher(bool fold) : fold_(fold) {}
  // True when `c` completes the text.
  bool Next(char c) {
    if (fold_) c = AsciiLower(c);
    matched_ = c == kLanguageLineText[matched_] ? matched_ + 1
               : c == kLanguageLineText[0]      ? 1
                                                : 0;
    if (matched_ < kLanguageLineLength) return false;
    matched_ = 0;
    return true;
  }

 private:
  bool fold_;
  std::size_t matched_ = 0;
};

// What a settings file holds for the checks, gathered block by block, so
// that a file of any size is read in bounded memory.
class SettingsScan {
 public:
  void Add(const char* bytes, std::size_t size) {
    std::vector<char> patched(bytes, bytes + size);
    patcher_.Patch(patched.data(), patched.size());
    for (std::size_t i = 0; i < size; ++i) {
      const char c = bytes[i];
      if (patcher_.patched_at() == offset_) {
        replaced_ = c;
        replaced_at_ = Here();
      }
      recent_.push_back(c);
      if (recent_.size() > kLanguageLineLength) recent_.erase(0, 1);
      if (exact_.Next(c) && lines_.size() < 2) lines_.push_back(Here().line);
      if (folded_.Next(c) && !case_slip_) case_slip_ = std::make_pair(recent_, Here().line);
      ++offset_;
      if (c == '\n') {
        ++line_;
        line_start_ = offset_;
      }
    }
  }

  // Lines of the first two "51 language ", from 1.
  const std::vector<std::size_t>& lines() const { return lines_; }
  std::optional<std::pair<char, Position>> replaced() const {
    if (!replaced_at_) return std::nullopt;
    return std::make_pair(replaced_, *replaced_at_);
  }
  // Points to a language line that differs only in case, the likely slip.
  std::string CaseHint() const {
    if (!case_slip_) return "";
    return " ('" + case_slip_->first + "' in line " + std::to_string(case_slip_->second) +
           " differs in case)";
  }

 private:
  Position Here() const {
    return {line_, static_cast<std::size_t>(offset_ - line_start_) + 1};
  }

  LanguageLinePatcher patcher_{kProbeLanguage};
  LineTextMatcher exact_{false};
  LineTextMatcher folded_{true};
  std::uint64_t offset_ = 0;
  std::size_t line_ = 1;
  std::uint64_t line_start_ = 0;
  std::string recent_;  // the last bytes, as long as the text
  std::vector<std::size_t> lines_;
  std::optional<std::pair<std::string, std::size_t>> case_slip_;
  char replaced_ = 0;
  std::optional<Position> replaced_at_;
};

bool IsLanguageLetter(char c) { return c >= 'a' && c <= 'z'; }

}  // namespace

void CheckSettingsFile(const Cd& cd, const std::string& name_on_cd,
                       Diagnostics& out) {
  auto file = cd.Open(name_on_cd);
  if (!file) return;
  SettingsScan scan;
  if (!ReadBlocks(*file, [&](const char* bytes, std::size_t size) { scan.Add(bytes, size); }))
    return;
  const std::string display = DisplayName(name_on_cd);

  const auto& lines = scan.lines();
  if (lines.empty()) {
    out.Add(Rule::kSettingsFileNoLanguageLine, {display},
            std::string("no '") + kLanguageLineText +
                "' line (those 12 characters, in lower case): the product does not "
                "get the language chosen in Setup" +
                scan.CaseHint());
    return;
  }
  if (const auto replaced = scan.replaced()) {
    const auto [byte, at] = *replaced;
    if (!IsLanguageLetter(byte))
      out.Add(Rule::kSettingsFileNoLanguageLetter, {display, at.line, at.column},
              std::string("the byte after '") + kLanguageLineText + "' is " +
                  HexByte(static_cast<unsigned char>(byte)) +
                  ", not a language letter: Setup overwrites it with the letter");
  } else {
    out.Add(Rule::kSettingsFileLanguageLineAtEnd, {display, lines.front()},
            std::string("'") + kLanguageLineText +
                "' ends the file: no byte follows it for the language letter, so "
                "the product does not get the language chosen in Setup");
  }
  if (lines.size() > 1)
    out.Add(Rule::kSettingsFileSecondLanguageLine, {display, lines[1]},
            std::string("a second '") + kLanguageLineText +
                "' line: Setup patches only the first, so this one keeps its letter");
}

}  // namespace orvik::cdcheck
