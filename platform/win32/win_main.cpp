// The entry point of setup.exe: process hygiene first, then the
// application object's start-up, which runs the install dialog.
#include <windows.h>
#include <commctrl.h>

#include <cstdio>

#include "app/install_app.h"
#include "platform/win32/debug_log_file.h"
#include "platform/win32/install_dialog_window.h"
#include "platform/win32/install_lock.h"
#include "platform/win32/process_hygiene.h"
#include "platform/win32/win32_file_system.h"
#include "platform/win32/win32_install_services.h"

namespace orvik {
namespace {

const char kDebugLogPath[] = "c:\\windows\\debug.txt";
const char kCaption[] = "Orvik Setup";
const char kAlreadyRunningText[] =
    "Another installation of Orvik is running on this computer.\n"
    "Start Orvik Setup again when it has finished.";

class Win32StartupHost : public StartupHost {
 public:
  Win32StartupHost(HINSTANCE instance, const char* command_line)
      : instance_(instance), command_line_(command_line ? command_line : "") {}

  void EnableControlLook() override {
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_STANDARD_CLASSES};
    ::InitCommonControlsEx(&controls);  // outcome ignored: plain look then
  }

  InstallServices Services() override { return services_.Get(); }

  std::FILE* CreateDebugLog() override {
    return OpenDebugLogFile(kDebugLogPath);
  }

  int CurrentDriveNumber() override { return orvik::CurrentDriveNumber(); }
  std::string CommandLine() override { return command_line_; }

  void RunModal(CInstallDlg& dialog) override {
    InstallDialogWindow window(instance_, dialog);
    window.DoModal();
  }

 private:
  HINSTANCE instance_;
  std::string command_line_;
  Win32InstallServices services_;
};

}  // namespace
}  // namespace orvik

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR command_line, int) {
  orvik::ApplyProcessHygiene();
  orvik::InstallLock lock;
  if (!lock.Take()) {
    ::MessageBoxA(nullptr, orvik::kAlreadyRunningText, orvik::kCaption,
                  MB_OK | MB_ICONINFORMATION);
    return 0;
  }
  orvik::Win32StartupHost host(instance, command_line);
  orvik::CInstallApp app;
  app.InitInstance(host);
  return 0;
}
