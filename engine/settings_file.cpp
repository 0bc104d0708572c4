#include "engine/settings_file.h"

#include "engine/ascii.h"

namespace orvik {

namespace {


bool EqualsIgnoringCase(const std::string& text, const char* other) {
  std::size_t i = 0;
  for (; i < text.size() && other[i] != '\0'; ++i)
    if (AsciiLower(text[i]) != AsciiLower(other[i])) return false;
  return i == text.size() && other[i] == '\0';
}

constexpr bool FirstCharacterIsUnique(const char* text) {
  for (std::size_t i = 1; text[i] != '\0'; ++i)
    if (text[i] == text[0]) return false;
  return true;
}
static_assert(FirstCharacterIsUnique(kLanguageLineText),
              "LanguageLinePatcher restarts a failed match at the first "
              "character only");

}  // namespace

SettingsFile SettingsFileNamed(const std::string& destination_name) {
  if (EqualsIgnoringCase(destination_name, cd_format::kStartupSettingsName))
    return SettingsFile::kStartup;
  if (EqualsIgnoringCase(destination_name, cd_format::kFactorySettingsName))
    return SettingsFile::kFactory;
  return SettingsFile::kNone;
}

void LanguageLinePatcher::Patch(char* data, std::size_t size) {
  for (std::size_t i = 0; i < size && !done_; ++i) {
    if (matched_ == kLanguageLineLength) {
      data[i] = language_;
      patched_at_ = passed_ + i;
      done_ = true;
    } else {
      matched_ = MatchedAfter(data[i]);
    }
  }
  passed_ += size;
}

std::size_t LanguageLinePatcher::MatchedAfter(char c) const {
  if (c == kLanguageLineText[matched_]) return matched_ + 1;
  return c == kLanguageLineText[0] ? 1 : 0;
}

}  // namespace orvik
