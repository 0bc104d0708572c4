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

bool FindIntroduction(FileSystem& files, Drives& drives, int& source_drive,
                      char language, std::string& message) {
  if (LoadIntroduction(files, CdDrive(static_cast<char>(source_drive)), language,
                       message))
    return true;
  for (char letter = kFirstDriveLetter; letter <= kLastDriveLetter; ++letter) {
    if (!drives.IsCdRom(letter)) continue;
    if (LoadIntroduction(files, CdDrive(letter), language, message)) {
      source_drive = letter;
      return true;
    }
  }
  return false;
}

InstallResult RunInstallation(InstallServices services,
                              const InstallRequest& request,
                              std::string& message, InstallProblems* problems) {
  InstallProblems ignored;
  InstallProblems& found = problems != nullptr ? *problems : ignored;
  const InstallResult result = CopyInstallFiles(
      services.files, kNoCopyListDrive, request.source, request.language,
      request.dest_folder, message, &found.copy);
  WriteDebugLog("rval = %d\n%s\n", ResultCode(result), message.c_str());
  if (result != InstallResult::kOk || !request.shortcut) return result;
  std::string link_path;
  if (!CreateDesktopShortcut(services.shell, request.dest_folder,
                             *request.shortcut, link_path))
    found.shortcut_not_made = link_path;
  return result;
}

}  // namespace orvik
