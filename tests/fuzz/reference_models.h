// Plain, whole-buffer restatements of the installer's text rules, written
// apart from the engine so that the fuzzers can hold the engine's streamed,
// chunked reading against them.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace orvik::fuzz {

constexpr std::size_t kMessageReadBytes = 199;

// The text the message file reader returns for `skip` and `count` from a
// file of `bytes`: reads of at most 199 bytes through the next line feed,
// each contributing its bytes up to a NUL, and after each of the `count`
// reads the earliest backslash-n marker of the whole text removed.
inline std::string MessageText(const std::string& bytes, unsigned skip,
                               unsigned count) {
  std::size_t at = 0;
  auto next_read = [&]() -> std::optional<std::string> {
    if (at >= bytes.size()) return std::nullopt;
    std::size_t end = std::min(bytes.size(), at + kMessageReadBytes);
    const std::size_t newline = bytes.find('\n', at);
    if (newline != std::string::npos && newline < end) end = newline + 1;
    std::string piece = bytes.substr(at, end - at);
    at = end;
    return piece;
  };
  for (unsigned i = 0; i < skip; ++i) next_read();
  std::string text;
  for (unsigned i = 0; i < count; ++i) {
    if (auto piece = next_read()) text += piece->substr(0, piece->find('\0'));
    const std::size_t marker = text.find("\\n");
    if (marker != std::string::npos) text.erase(marker, 2);
  }
  return text;
}

// True when `part` can be had from `whole` by deleting bytes.
inline bool IsSubsequence(const std::string& part, const std::string& whole) {
  std::size_t at = 0;
  for (char c : part) {
    at = whole.find(c, at);
    if (at == std::string::npos) return false;
    ++at;
  }
  return true;
}

inline bool IsCBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' ||
         c == '\r';
}

struct ModelEntry {
  bool keep_existing = false;
  std::string name;
};

// The copy list as the format describes it, or nothing when it is not
// well formed: a header that does not begin with a number, fewer entry
// lines than it announces, or an entry line without a name.
inline std::optional<std::vector<ModelEntry>> ParseCopyListModel(
    const std::string& bytes) {
  std::vector<std::string> lines;
  for (std::size_t at = 0; at < bytes.size();) {
    const std::size_t newline = bytes.find('\n', at);
    const std::size_t end = newline == std::string::npos ? bytes.size() : newline + 1;
    std::string line = bytes.substr(at, end - at);
    lines.push_back(line.substr(0, line.find('\0')));
    at = end;
  }
  if (lines.empty()) return std::nullopt;
  const std::string& header = lines[0];
  std::size_t at = 0;
  while (at < header.size() && IsCBlank(header[at])) ++at;
  bool negative = false;
  if (at < header.size() && (header[at] == '+' || header[at] == '-'))
    negative = header[at++] == '-';
  if (at >= header.size() || header[at] < '0' || header[at] > '9')
    return std::nullopt;
  // Only whether the count reaches the number of lines matters.
  std::size_t count = 0;
  for (; at < header.size() && header[at] >= '0' && header[at] <= '9'; ++at)
    count = std::min<std::size_t>(count * 10 + (header[at] - '0'), lines.size());
  if (negative) count = 0;
  if (count > lines.size() - 1) return std::nullopt;
  std::vector<ModelEntry> entries;
  for (std::size_t i = 1; i <= count; ++i) {
    std::string line = lines[i];
    ModelEntry entry;
    std::size_t from = 0;
    if (!line.empty() && line[0] == '$') {
      entry.keep_existing = true;
      from = 1;
    }
    while (from < line.size() && IsCBlank(line[from])) ++from;
    std::size_t end = from;
    while (end < line.size() && !IsCBlank(line[end])) ++end;
    entry.name = line.substr(from, end - from);
    if (entry.name.empty()) return std::nullopt;
    entries.push_back(entry);
  }
  return entries;
}

// The name a copied file gets in the destination folder, without the
// backslash: what follows the last backslash that is not the first byte.
inline std::string LastComponentModel(const std::string& name) {
  const std::size_t last = name.rfind('\\');
  if (last != std::string::npos && last > 0) return name.substr(last + 1);
  return name[0] == '\\' ? name.substr(1) : name;
}

inline bool IsCheckOnlyModel(std::size_t position) {
  return position <= 3 || position == 6;
}

enum class SettingsKind { kNone, kStartup, kFactory };

inline std::string AsciiLowerModel(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}

inline SettingsKind SettingsKindOf(const std::string& dest_name) {
  const std::string lower = AsciiLowerModel(dest_name);
  if (lower == "startup.mar") return SettingsKind::kStartup;
  if (lower == "factory.mar") return SettingsKind::kFactory;
  return SettingsKind::kNone;
}

// A complete copy of `source` under the destination name's rules: the byte
// after the first "51 language " becomes the language letter, and
// startup.mar ends in the CD-drive line on a line of its own.
inline std::string CopiedContent(std::string source, SettingsKind kind,
                                 char language, char cd_drive_letter) {
  if (kind == SettingsKind::kNone) return source;
  if (language != 0) {
    const std::size_t at = source.find("51 language ");
    if (at != std::string::npos && at + 12 < source.size())
      source[at + 12] = language;
  }
  if (kind == SettingsKind::kStartup) {
    if (!source.empty() && source.back() != '\n') source += '\n';
    source += "18 cd drive ";
    source += cd_drive_letter;
    source += '\n';
  }
  return source;
}

}  // namespace orvik::fuzz
