// The product's two settings files, startup.mar and factory.mar, which the
// copy engine recognises by name and patches while copying them. The CD
// checker applies the same rule to tell an author whether the patch lands.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "engine/cd_format.h"

namespace orvik {

enum class SettingsFile { kNone, kStartup, kFactory };

// `destination_name` as DestinationName gives it ("\startup.mar"); the
// comparison ignores case.
SettingsFile SettingsFileNamed(const std::string& destination_name);

using cd_format::kLanguageLineText;
inline constexpr std::size_t kLanguageLineLength = sizeof kLanguageLineText - 1;

// Puts the language letter into the byte after the first "51 language " of
// a file that arrives in chunks of any size. The match is carried from one
// chunk to the next, so the text may span chunks and the byte to patch may
// be the first of a later chunk. Later occurrences are left alone.
class LanguageLinePatcher {
 public:
  // Language 0 patches nothing.
  explicit LanguageLinePatcher(char language)
      : language_(language), done_(language == 0) {}

  // `data` continues the bytes of the earlier calls.
  void Patch(char* data, std::size_t size);

  // Where the letter went, counted from the file's first byte; nothing
  // while no byte has been patched.
  std::optional<std::uint64_t> patched_at() const { return patched_at_; }

 private:
  std::size_t MatchedAfter(char c) const;

  char language_;
  bool done_;
  std::size_t matched_ = 0;
  std::uint64_t passed_ = 0;
  std::optional<std::uint64_t> patched_at_;
};

}  // namespace orvik
