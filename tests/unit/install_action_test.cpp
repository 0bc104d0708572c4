#include "ui/install_action.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "engine/install_message.h"
#include "ui/resource.h"
#include "unit/fakes.h"
#include "unit/test_support.h"

namespace orvik {
namespace {

using Calls = std::vector<std::string>;
using testing::CapturedLog;
using testing::TempFolder;

// OK in the dialog over a copy of the sample CD on drive D, with C the
// current drive holding the destination's parent.
class InstallAction : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::ResetGlobalState();
    std::filesystem::copy(ORVIK_SAMPLE_CD, cd_.path(),
                          std::filesystem::copy_options::recursive);
    files_.MapDrive('C', drive_c_.path());
    files_.MapDrive('D', cd_.path());
    files_.SetCurrentDrive('C');
    dialog_.Attach(&window_);
    dialog_.m_cSourceDrive = 'D';
  }
  void TearDown() override { testing::ResetGlobalState(); }

  std::string MessageLine(char language, unsigned line) {
    std::string text;
    LoadInstallMessage(files_, 'D', language, line, 1, text);
    return text;
  }

  TempFolder drive_c_;
  TempFolder cd_;
  PosixFileSystem files_;
  testing::FakeDrives drives_;
  testing::FakeShell shell_;
  testing::FakeDialogWindow window_;
  CInstallDlg dialog_{InstallServices{files_, drives_, shell_}};
};

TEST_F(InstallAction, SuccessLogsCreatesShortcutShowsTextAndEnds) {
  dialog_.OnInitDialog();
  window_.calls.clear();
  const std::string success = MessageLine('e', 13);
  ASSERT_FALSE(success.empty());
  CapturedLog log;
  dialog_.OnOK();

  // The copy's own lookup of the success line comes first: the message
  // file is not in the destination folder.
  const std::string log_text = log.Text();
  EXPECT_EQ(0u, log_text.find("Looking for 'D:\\install\\einstall.dat': "));
  EXPECT_EQ("rval = 0\n" + success + "\n", log_text.substr(log_text.find('\n') + 1));
  EXPECT_EQ((Calls{"CoInitialize", "DesktopFolder user",
                   "CoCreateInstance ShellLink",
                   "SetPath c:\\orvik8\\orvik8.exe",
                   "SetWorkingDirectory c:\\orvik8",
                   "SetDescription Orvik 8.0 (Ostmarrow)",
                   "QueryInterface IPersistFile",
                   "Save C:\\Users\\Ann\\Desktop\\orvik8.lnk TRUE",
                   "Release IPersistFile", "Release IShellLinkA",
                   "CoUninitialize"}),
            shell_.calls);
  EXPECT_EQ((Calls{"messagebox", "end 1"}), window_.calls);
  EXPECT_EQ(success, window_.message_box_text);
  EXPECT_EQ("Orvik Setup", window_.message_box_caption);
  EXPECT_EQ(kMessageBoxOk, window_.message_box_type);
  EXPECT_TRUE(drive_c_.Exists("orvik8/orvik8.exe"));
}

TEST_F(InstallAction, FailureShowsItsTextWithoutComOrShortcut) {
  std::filesystem::remove(cd_.path() + "/install/eopylist.dat");
  const std::string text = MessageLine('e', 6) + MessageLine('e', 7);
  CapturedLog log;
  dialog_.m_cLanguage = 'e';
  window_.texts[IDC_DEST_DIR] = "c:\\orvik8";
  dialog_.OnOK();
  const std::string record = "rval = -2\n" + text + "\n";
  EXPECT_EQ(record, log.Text().substr(log.Text().size() - record.size()));
  EXPECT_TRUE(shell_.calls.empty());
  EXPECT_EQ(text, window_.message_box_text);
  EXPECT_EQ(IDOK, window_.end_result);
}

TEST_F(InstallAction, UsesTheFolderTextAsTypedAtOk) {
  dialog_.OnInitDialog();
  dialog_.OnSelectLanguage('d');
  window_.texts[IDC_DEST_DIR] = "c:\\Programme\\";
  drive_c_.MakeFolder("Programme");
  dialog_.OnOK();
  EXPECT_EQ("c:\\Programme\\", dialog_.m_strDestDir);
  EXPECT_TRUE(drive_c_.Exists("Programme/orvik8.exe"));
  EXPECT_EQ("SetPath c:\\Programme\\\\orvik8.exe", shell_.calls[3]);
  EXPECT_EQ("SetWorkingDirectory c:\\Programme\\", shell_.calls[4]);
  EXPECT_EQ(MessageLine('d', 13), window_.message_box_text);
}

TEST_F(InstallAction, LegacyCdFoundByTheCopyGivesVersionSevenNames) {
  for (char language : {'e', 'd', 'f', 'i'})
    std::filesystem::remove(cd_.path() + "/install/" + language + "install.dat");
  std::filesystem::remove(cd_.path() + "/install/eopylist.dat");
  cd_.WriteFile("install/copylist.dat",
                "5 0\r\n\\setup.txt\r\n\\setup.txt\r\n\\setup.txt\r\n"
                "\\setup.txt\r\n\\prog\\orvik8.exe\r\n");
  cd_.WriteFile("install/install.dat", std::string(13, '\n') + "Version 7 installed.\n");
  dialog_.m_cLanguage = 'e';
  window_.texts[IDC_DEST_DIR] = "c:\\orvik7";
  dialog_.OnOK();
  EXPECT_EQ(7, g_nProductVersion);
  EXPECT_EQ("Version 7 installed.\n", window_.message_box_text);
  EXPECT_EQ("SetPath c:\\orvik7\\orvik7.exe", shell_.calls[3]);
  EXPECT_EQ("SetDescription Orvik 7.0 (Ostmarrow)", shell_.calls[5]);
  EXPECT_EQ("Save C:\\Users\\Ann\\Desktop\\orvik7.lnk TRUE", shell_.calls[7]);
}

}  // namespace
}  // namespace orvik
