#include "app/install_app.h"

#include <memory>

#include "engine/debug_log.h"

namespace orvik {

namespace {

// Drive number 1 is 'A': adding this gives the upper-case letter, and the
// number 0 of a path without a drive gives '@', which names no drive.
constexpr int kDriveNumberToLetter = 64;

}  // namespace

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
      host.CommandLine(), host.CurrentDriveNumber() + kDriveNumberToLetter);
  host.RunModal(*dialog);
  dialog.reset();
  WriteDebugLog("Exited install_dlg\n");
  return true;
}

}  // namespace orvik
