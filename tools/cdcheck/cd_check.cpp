#include "tools/cdcheck/cd_check.h"

#include <optional>

#include "engine/line_reader.h"
#include "tools/cdcheck/cd_access.h"
#include "tools/cdcheck/cp1252.h"
#include "tools/cdcheck/copy_list_check.h"
#include "tools/cdcheck/message_file_check.h"

namespace orvik::cdcheck {

namespace {

// What starts an installation from the pressed CD, in its root.
void CheckRootFiles(const Cd& cd, Diagnostics& out) {
  const struct {
    const char* name;
    const char* why;
  } kRootFiles[] = {
      {cd_format::kSetupProgram, "the customer has no Setup to start"},
      {cd_format::kUnattendedInstaller, "unattended installations have no program to run"},
      {cd_format::kAutorunFile, "inserting the CD starts nothing"},
  };
  for (const auto& file : kRootFiles)
    if (!cd.Exists(std::string("\\") + file.name))
      out.Add(Rule::kImageMissingRootFile, {file.name},
              std::string("not in the image's root: ") + file.why);
}

std::string OnCd(const std::string& display_name) {
  std::string name = "\\" + display_name;
  for (char& c : name)
    if (c == '/') c = '\\';
  return name;
}

// The CD's own control files, in the order they stand in for the CD: for
// findings of their own kind first.
std::vector<std::string> ControlFiles(Rule rule) {
  std::vector<std::string> message_files, copy_lists;
  for (const auto& language : kLanguages) {
    message_files.push_back(DisplayName(cd_format::kInstallFolder + cd_format::MessageFileName(language.letter)));
    copy_lists.push_back(
        DisplayName(cd_format::CopyListOnSource(language.letter)));
  }
  message_files.push_back(DisplayName(cd_format::kInstallFolder + std::string(cd_format::kLegacyMessageFile)));
  copy_lists.push_back(
      DisplayName(cd_format::CopyListOnSource(cd_format::kLanguageFreeCopyList)));
  const bool about_copy_lists = std::string(InfoOf(rule).id).rfind("copy-list/", 0) == 0;
  auto& first = about_copy_lists ? copy_lists : message_files;
  auto& second = about_copy_lists ? message_files : copy_lists;
  first.insert(first.end(), second.begin(), second.end());
  return first;
}

// The line of a copy list whose entry names `display_name`, from 1.
std::optional<Location> EntryNaming(const Cd& cd, const std::string& display_name) {
  const std::string wanted = FoldCase(display_name);
  for (const auto& list : ControlFiles(Rule::kCopyListSourceMissing)) {
    if (list.find(cd_format::kCopyListSuffix) == std::string::npos) continue;
    const auto file = cd.Open(OnCd(list));
    if (!file) continue;
    const FileLines lines = ReadLines(*file, LineReader::kUnlimited);
    for (std::size_t i = 1; i < lines.lines.size(); ++i) {
      std::string name = lines.lines[i].substr(0, lines.lines[i].find_first_of(" \t\r\n"));
      if (!name.empty() && name[0] == cd_format::kKeepExistingMark) name.erase(0, 1);
      if (!name.empty() && FoldCase(DisplayName(name)) == wanted) return Location{list, i + 1};
    }
  }
  return std::nullopt;
}

bool IsOnAFile(const Cd& cd, const Location& where) {
  return !where.file.empty() && where.file.back() != '/' && cd.Exists(OnCd(where.file));
}

void PlaceOnFiles(const Cd& cd, Diagnostics& diagnostics) {
  for (Diagnostic& diagnostic : diagnostics.all_mutable()) {
    if (IsOnAFile(cd, diagnostic.where)) continue;
    if (auto entry = EntryNaming(cd, diagnostic.where.file)) {
      diagnostic.on_file = *entry;
      continue;
    }
    for (const auto& candidate : ControlFiles(diagnostic.rule))
      if (cd.Exists(OnCd(candidate))) {
        diagnostic.on_file = {candidate, 1};
        break;
      }
  }
}

}  // namespace

CheckResult CheckCd(FileSystem& files, char drive, bool pressed_image) {
  const Cd cd(files, drive);
  CheckResult result;
  if (pressed_image) CheckRootFiles(cd, result.diagnostics);
  const MessageFileUse messages = CheckMessageFiles(cd, result.diagnostics);
  result.product_version = messages.product_version;
  auto installs = CheckCopyLists(cd, messages.version_of_language, result.diagnostics);

  for (const auto& language : kLanguages) {
    LanguageResult entry;
    entry.letter = language.letter;
    entry.name = language.name;
    const auto message_file = messages.file_of_language.find(language.letter);
    if (message_file != messages.file_of_language.end())
      entry.message_file = message_file->second;
    entry.copy_list = installs[language.letter].copy_list;
    entry.plan = std::move(installs[language.letter].plan);
    result.languages.push_back(std::move(entry));
  }
  PlaceOnFiles(cd, result.diagnostics);
  result.diagnostics.SortByPlace();
  return result;
}

}  // namespace orvik::cdcheck
