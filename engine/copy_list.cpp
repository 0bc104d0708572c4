#include "engine/copy_list.h"

#include <algorithm>
#include <limits>

#include "engine/ascii.h"
#include "engine/line_reader.h"
#include "engine/windows_path.h"

namespace orvik {

namespace {

using cd_format::kCopyListDriveMark;
using cd_format::kKeepExistingMark;
constexpr char kSeparator = '\\';

// A line's text is what a C string would hold: up to its first NUL.
std::string CutAtNul(std::string line) {
  line.resize(std::min(line.size(), line.find('\0')));
  return line;
}

std::size_t SkipBlanks(const std::string& text, std::size_t at) {
  while (at < text.size() && IsAsciiBlank(text[at])) ++at;
  return at;
}

// A signed decimal number after optional white space; an overlong one
// saturates, which the entry lines then cannot satisfy.
std::optional<long long> LeadingNumber(const std::string& text) {
  std::size_t at = SkipBlanks(text, 0);
  const bool negative = at < text.size() && text[at] == '-';
  if (at < text.size() && (text[at] == '-' || text[at] == '+')) ++at;
  if (at == text.size() || !IsAsciiDigit(text[at])) return std::nullopt;
  constexpr long long kMax = std::numeric_limits<long long>::max();
  long long value = 0;
  for (; at < text.size() && IsAsciiDigit(text[at]); ++at) {
    const int digit = text[at] - '0';
    value = value > (kMax - digit) / 10 ? kMax : value * 10 + digit;
  }
  return negative ? -value : value;
}

CopyListEntry ParseEntryLine(std::string line, std::size_t line_number) {
  CopyListEntry entry;
  entry.line_number = line_number;
  line = CutAtNul(std::move(line));
  std::size_t at = 0;
  if (!line.empty() && line[0] == kKeepExistingMark) {
    entry.keep_existing = true;
    at = 1;
  }
  at = SkipBlanks(line, at);
  std::size_t end = at;
  while (end < line.size() && !IsAsciiBlank(line[end])) ++end;
  entry.name = line.substr(at, end - at);
  return entry;
}

bool IsOnlyDotsAndBlanks(const std::string& name) {
  return name.find_first_not_of(". ") == std::string::npos;
}

bool IsPlainFileName(const std::string& name) {
  if (IsOnlyDotsAndBlanks(name)) return false;  // "", ".", ".." and kin
  // The name is one component: a slash would make it two.
  if (HasForbiddenCharacter(name) || name.find('/') != std::string::npos) return false;
  // "startup.mar." would be written as startup.mar without being treated
  // as the settings file.
  if (EndsInDotOrBlank(name)) return false;
  return !IsDeviceName(name);
}

}  // namespace

const char* CopyListStatusName(CopyListStatus status) {
  switch (status) {
    case CopyListStatus::kOk: return "kOk";
    case CopyListStatus::kBadHeader: return "kBadHeader";
    case CopyListStatus::kMissingEntries: return "kMissingEntries";
    case CopyListStatus::kEntryWithoutName: return "kEntryWithoutName";
    case CopyListStatus::kReadError: return "kReadError";
  }
  return "unknown status";
}

CopyListStatus ParseCopyList(File& file, CopyList& list) {
  list = CopyList();
  LineReader reader(file);
  std::string line;
  if (!reader.ReadLine(line))
    return reader.failed() ? CopyListStatus::kReadError
                           : CopyListStatus::kBadHeader;
  const auto count = LeadingNumber(CutAtNul(line));
  if (!count) return CopyListStatus::kBadHeader;
  list.entry_count = *count;

  // Line by line, never reserving by the count: the header may claim more
  // than the file holds.
  for (long long i = 0; i < list.entry_count; ++i) {
    const std::size_t line_number = static_cast<std::size_t>(i) + 2;
    if (!reader.ReadLine(line))
      return reader.failed() ? CopyListStatus::kReadError
                             : CopyListStatus::kMissingEntries;
    CopyListEntry entry = ParseEntryLine(line, line_number);
    if (entry.name.empty()) return CopyListStatus::kEntryWithoutName;
    list.entries.push_back(std::move(entry));
  }
  return CopyListStatus::kOk;
}

std::string SourcePath(const std::string& name, char copy_list_drive,
                       const CdSource& source) {
  if (!name.empty() && name[0] == kCopyListDriveMark)
    return copy_list_drive != 0 ? std::string(1, copy_list_drive) + name
                                : std::string();
  return source.PathOf(name);
}

std::string SourcePath(const std::string& name, char copy_list_drive,
                       char source_drive) {
  return SourcePath(name, copy_list_drive, CdDrive(source_drive));
}

std::optional<std::string> DestinationName(const std::string& name) {
  const std::size_t last = name.rfind(kSeparator);
  std::string component;
  if (last != std::string::npos && last > 0)
    component = name.substr(last);
  else if (!name.empty() && name[0] == kSeparator)
    component = name;
  else
    component = kSeparator + name;
  if (!IsPlainFileName(component.substr(1))) return std::nullopt;
  return component;
}

}  // namespace orvik
