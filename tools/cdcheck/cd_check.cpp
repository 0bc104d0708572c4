#include "tools/cdcheck/cd_check.h"

#include "tools/cdcheck/cd_access.h"
#include "tools/cdcheck/copy_list_check.h"
#include "tools/cdcheck/message_file_check.h"

namespace orvik::cdcheck {

namespace {

// AutoPlay opens autorun.inf, which starts setup.exe; a deployment tool
// starts orvik-install.exe. All three are looked for in the root.
void CheckRootFiles(const Cd& cd, Diagnostics& out) {
  const struct {
    const char* name;
    const char* why;
  } kRootFiles[] = {
      {"setup.exe", "the customer has no Setup to start"},
      {"orvik-install.exe", "unattended installations have no program to run"},
      {"autorun.inf", "inserting the CD starts nothing"},
  };
  for (const auto& file : kRootFiles)
    if (!cd.Exists(std::string("\\") + file.name))
      out.Add(Rule::kImageMissingRootFile, {file.name},
              std::string("not in the image's root: ") + file.why);
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
  result.diagnostics.SortByPlace();
  return result;
}

}  // namespace orvik::cdcheck
