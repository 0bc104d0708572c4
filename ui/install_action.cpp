#include "ui/install_action.h"

#include "engine/copy_engine.h"
#include "engine/debug_log.h"
#include "engine/install_message.h"
#include "engine/result_codes.h"
#include "shell/com_apartment.h"
#include "shell/shortcut.h"

namespace orvik {

namespace {

constexpr unsigned kIntroductionFirstLine = 0;
constexpr unsigned kIntroductionLines = 3;
constexpr char kFirstDriveLetter = 'a';
constexpr char kLastDriveLetter = 'z';
constexpr char kNoCopyListDrive = 0;

bool LoadIntroduction(FileSystem& files, char drive, char language,
                      std::string& message) {
  return LoadInstallMessage(files, drive, language, kIntroductionFirstLine,
                            kIntroductionLines, message) == kResultOk;
}

// The version is read after the copy: the copy's own message lookup may
// have found a legacy CD.
void CreateDesktopShortcut(Shell& shell, const std::string& dest_folder) {
  const std::string version = std::to_string(g_nProductVersion);
  const ComApartment com(shell);
  CreateShortcut(shell, dest_folder + "\\orvik" + version + ".exe",
                 "orvik" + version + ".lnk", dest_folder,
                 "Orvik " + version + ".0 (Ostmarrow)", kCsidlDesktop);
}

}  // namespace

std::string DefaultDestFolder() {
  return "c:\\orvik" + std::to_string(g_nProductVersion);
}

bool FindIntroduction(FileSystem& files, Drives& drives, int& source_drive,
                      char language, std::string& message) {
  if (LoadIntroduction(files, static_cast<char>(source_drive), language, message))
    return true;
  for (char letter = kFirstDriveLetter; letter <= kLastDriveLetter; ++letter) {
    if (!drives.IsCdRom(letter)) continue;
    if (LoadIntroduction(files, letter, language, message)) {
      source_drive = letter;
      return true;
    }
  }
  return false;
}

int RunInstallation(InstallServices services, const InstallRequest& request,
                    std::string& message) {
  const int result =
      CopyInstallFiles(services.files, kNoCopyListDrive, request.source_drive,
                       request.language, request.dest_folder, message);
  WriteDebugLog("rval = %d\n%s\n", result, message.c_str());
  if (result == kResultOk && request.create_shortcut)
    CreateDesktopShortcut(services.shell, request.dest_folder);
  return result;
}

}  // namespace orvik
