#include "app/install_app.h"

#include <memory>

#include "engine/cd_format.h"
#include "engine/debug_log.h"

namespace orvik {

int SourceDriveFromCommandLine(const std::string& command_line,
                               int current_drive) {
  if (command_line.empty() || command_line[0] != '-') return current_drive;
  return command_line.size() > 1 ? command_line[1] : 0;
}

bool CInstallApp::InitInstance(StartupHost& host) {
  host.EnableControlLook();
  auto dialog = std::make_unique<CInstallDlg>(host.Services());
  const DebugLogSession log(host.CreateDebugLog());
  WriteDebugLog("Entering dlg\n");
  dialog->m_cSourceDrive = SourceDriveFromCommandLine(
      host.CommandLine(), cd_format::DriveLetterOfNumber(host.CurrentDriveNumber()));
  host.RunModal(*dialog);
  dialog.reset();
  WriteDebugLog("Exited install_dlg\n");
  return true;
}

}  // namespace orvik
