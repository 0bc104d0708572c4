// The application object: start-up, the modal run of the install dialog,
// and shut-down with the debug log.
#pragma once

#include <cstdio>
#include <string>

#include "ui/install_dlg.h"

namespace orvik {

// What start-up needs from the platform.
class StartupHost {
 public:
  virtual ~StartupHost() = default;
  // The look of the dialog's controls; the outcome does not matter.
  virtual void EnableControlLook() = 0;
  virtual InstallServices Services() = 0;
  // The opened, unbuffered log file, or null when it cannot be created.
  virtual std::FILE* CreateDebugLog() = 0;
  // 1 for A, 2 for B, ...; 0 when the current folder has no drive letter.
  virtual int CurrentDriveNumber() = 0;
  // The command line after the program's name.
  virtual std::string CommandLine() = 0;
  // Runs the dialog modally; returns once its window is gone.
  virtual void RunModal(CInstallDlg& dialog) = 0;
};

// The source drive that the command line names: the character after a
// leading "-" as typed (zero for a lone "-"), else `current_drive`.
int SourceDriveFromCommandLine(const std::string& command_line,
                               int current_drive);

class CInstallApp {
 public:
  // Runs the whole program; true in every case, so the process ends with
  // exit status 0.
  bool InitInstance(StartupHost& host);
};

}  // namespace orvik
