#include "app/install_app.h"

#include <gtest/gtest.h>

#include "engine/debug_log.h"
#include "tests/unit/fakes.h"
#include "ui/resource.h"
#include "tests/unit/test_support.h"

namespace orvik {
namespace {

using testing::TempFolder;

// Start-up over a drive C with no message file: the dialog's first lookup
// logs its two candidates; the modal run is a Cancel.
class StartupHostFake : public StartupHost {
 public:
  StartupHostFake() {
    files.MapDrive('C', drive_c.path());
    files.SetCurrentDrive('C');
  }
  void EnableControlLook() override { look_enabled = true; }
  InstallServices Services() override { return {files, drives, shell}; }
  std::FILE* CreateDebugLog() override {
    if (!log_can_open) return nullptr;
    return std::fopen((drive_c.path() + "/debug.txt").c_str(), "wb");
  }
  int CurrentDriveNumber() override { return drive_number; }
  std::string CommandLine() override { return command_line; }
  void RunModal(CInstallDlg& dialog) override {
    look_before_dialog = look_enabled;
    source_drive_seen = dialog.m_cSourceDrive;
    dialog.Attach(&window);
    dialog.OnInitDialog();
    dialog.OnCancel();
  }
  TempFolder drive_c;
  PosixFileSystem files;
  testing::FakeDrives drives;
  testing::FakeShell shell;
  testing::FakeDialogWindow window;
  bool log_can_open = true;
  int drive_number = 4;  // D
  std::string command_line;
  bool look_enabled = false;
  bool look_before_dialog = false;
  int source_drive_seen = -1;
};

class Startup : public ::testing::Test {
 protected:
  void SetUp() override { testing::ResetGlobalState(); }
  void TearDown() override { testing::ResetGlobalState(); }

  int SourceDriveFor(const std::string& command_line, int drive_number = 4) {
    StartupHostFake host;
    host.log_can_open = false;
    host.command_line = command_line;
    host.drive_number = drive_number;
    CInstallApp().InitInstance(host);
    return host.source_drive_seen;
  }
};

TEST_F(Startup, SourceDriveFromCurrentDriveOrCommandLine) {
  EXPECT_EQ('D', SourceDriveFor(""));
  EXPECT_EQ('@', SourceDriveFor("", 0)) << "a path without a drive letter";
  EXPECT_EQ('e', SourceDriveFor("-e"));
  EXPECT_EQ('E', SourceDriveFor("-EXTRA"));
  EXPECT_EQ(0, SourceDriveFor("-"));
  EXPECT_EQ('D', SourceDriveFor("e"));
  EXPECT_EQ('D', SourceDriveFor("/E"));
  EXPECT_EQ('D', SourceDriveFor(" -e")) << "only the first character counts";
}

TEST_F(Startup, LogHoldsEntryLookupsAndExitInOrder) {
  StartupHostFake host;
  CInstallApp().InitInstance(host);
  EXPECT_TRUE(host.look_before_dialog);
  EXPECT_EQ(nullptr, g_pDebugLog) << "closed after the run";
  EXPECT_EQ("Entering dlg\n"
            "Looking for 'D:\\install\\einstall.dat': 00000000\n"
            "Looking for 'D:\\install\\install.dat': 00000000, version 7\n"
            "Exited install_dlg\n",
            host.drive_c.ReadFile("debug.txt"));
  EXPECT_EQ(IDCANCEL, host.window.end_result);
}

TEST_F(Startup, RunsTheSameWithoutALog) {
  StartupHostFake host;
  host.log_can_open = false;
  CInstallApp().InitInstance(host);
  EXPECT_EQ("c:\\orvik8", host.window.texts[IDC_DEST_DIR]);
}

}  // namespace
}  // namespace orvik
