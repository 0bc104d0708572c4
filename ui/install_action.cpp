#include "ui/install_action.h"

#include "engine/cd_format.h"
#include "engine/copy_engine.h"
#include "engine/debug_log.h"
#include "engine/install_message.h"
#include "engine/result_codes.h"
#include "shell/com_apartment.h"
#include "shell/shortcut.h"

namespace orvik {

namespace {

constexpr char kFirstDriveLetter = 'a';
constexpr char kLastDriveLetter = 'z';
constexpr char kNoCopyListDrive = 0;


// The version is read after the copy: the copy's own message lookup may
// have found a legacy CD.
bool CreateDesktopShortcut(Shell& shell, const std::string& dest_folder,
                           ShortcutPlace place, std::string& link_path) {
  const int version = g_nProductVersion;
  const ComApartment com(shell);
  return CreateShortcut(shell, dest_folder + "\\" + cd_format::ProgramName(version),
                        cd_format::ShortcutName(version), dest_folder,
                        cd_format::ShortcutDescription(version), place, &link_path);
}

}  // namespace

bool LoadIntroduction(FileSystem& files, const CdSource& source, char language,
                      std::string& message) {
  return LoadInstallMessage(files, source, language,
                            cd_format::kIntroductionText.first,
                            cd_format::kIntroductionText.count,
                            message) == MessageResult::kFound;
}

std::string DefaultDestFolder() {
  return cd_format::DefaultDestFolder(g_nProductVersion);
}

bool HoldsMessageFile(FileSystem& files, const CdSource& source, char language,
                      LookupFolder lookup, std::string& introduction) {
  if (lookup == LookupFolder::kSourceRoot) {
    const bool drive = !source.root.empty() && !source.IsFolder();
    if (!files.SetCurrentFolder(drive ? source.root + "\\" : source.root)) return false;
  }
  return LoadIntroduction(files, source, language, introduction);
}

std::vector<char> CdRomDrives(Drives& drives) {
  std::vector<char> letters;
  for (char letter = kFirstDriveLetter; letter <= kLastDriveLetter; ++letter)
    if (drives.IsCdRom(letter)) letters.push_back(letter);
  return letters;
}

std::optional<char> FindCdRomDrive(FileSystem& files, Drives& drives, char language,
                                   LookupFolder lookup, std::string& introduction) {
  for (const char letter : CdRomDrives(drives))
    if (HoldsMessageFile(files, CdDrive(letter), language, lookup, introduction))
      return letter;
  return std::nullopt;
}

bool FindIntroduction(FileSystem& files, Drives& drives, int& source_drive,
                      char language, std::string& message) {
  if (LoadIntroduction(files, CdDrive(static_cast<char>(source_drive)), language,
                       message))
    return true;
  const auto drive = FindCdRomDrive(files, drives, language, LookupFolder::kAsItIs, message);
  if (drive) source_drive = *drive;
  return drive.has_value();
}

InstallReport RunInstallation(InstallServices services, const InstallRequest& request) {
  CopyRequest copy;
  copy.copy_list_drive = kNoCopyListDrive;
  copy.source = request.source;
  copy.language = request.language;
  copy.dest_dir = request.dest_folder;
  copy.placement = request.placement;
  copy.digests = request.digests;
  copy.replace_in_use_at_restart = request.replace_in_use_at_restart;
  InstallReport report;
  report.copy = CopyInstallFiles(services.files, copy);
  WriteDebugLog("rval = %d\n%s\n", ResultCode(report.copy.result), report.copy.message.c_str());
  if (report.copy.result != InstallResult::kOk || !request.shortcut) return report;
  std::string link_path;
  if (CreateDesktopShortcut(services.shell, request.dest_folder, *request.shortcut, link_path))
    report.shortcut = link_path;
  else
    report.shortcut_not_made = link_path;
  return report;
}

}  // namespace orvik
