#include "ui/install_action.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "engine/install_message.h"
#include "ui/install_dlg.h"
#include "ui/resource.h"
#include "tests/unit/fakes.h"
#include "tests/unit/test_support.h"

namespace orvik {
namespace {

using Saved = std::vector<testing::SavedShortcut>;
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
  const std::string success = MessageLine('e', 13);
  ASSERT_FALSE(success.empty());
  CapturedLog log;
  dialog_.OnOK();

  // The copy's own lookup of the success line comes first: the message
  // file is not in the destination folder.
  const std::string log_text = log.Text();
  EXPECT_EQ(0u, log_text.find("Looking for 'D:\\install\\einstall.dat': "));
  EXPECT_EQ("rval = 0\n" + success + "\n", log_text.substr(log_text.find('\n') + 1));
  // The link object exists only inside a COM apartment, which is closed
  // again afterwards.
  EXPECT_EQ((Saved{{"C:\\Users\\Ann\\Desktop\\orvik8.lnk", "c:\\orvik8\\orvik8.exe",
                    "c:\\orvik8", "Orvik 8.0 (Ostmarrow)", true}}),
            shell_.saved);
  EXPECT_EQ(0, shell_.open_apartments);
  EXPECT_EQ(success, window_.message_box_text);
  EXPECT_EQ("Orvik Setup", window_.message_box_caption);
  EXPECT_TRUE(window_.message_box_over_open_dialog);
  EXPECT_EQ(IDOK, window_.end_result);
  EXPECT_TRUE(drive_c_.Exists("orvik8/orvik8.exe"));
}

TEST_F(InstallAction, FailureShowsItsTextAndMakesNoShortcut) {
  std::filesystem::remove(cd_.path() + "/install/eopylist.dat");
  const std::string text = MessageLine('e', 6) + MessageLine('e', 7);
  CapturedLog log;
  dialog_.m_cLanguage = 'e';
  window_.texts[IDC_DEST_DIR] = "c:\\orvik8";
  dialog_.OnOK();
  const std::string record = "rval = -2\n" + text + "\n";
  EXPECT_EQ(record, log.Text().substr(log.Text().size() - record.size()));
  EXPECT_TRUE(shell_.saved.empty());
  EXPECT_EQ(0, shell_.open_apartments);
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
  ASSERT_EQ(1u, shell_.saved.size());
  EXPECT_EQ("c:\\Programme\\\\orvik8.exe", shell_.saved[0].target);
  EXPECT_EQ("c:\\Programme\\", shell_.saved[0].working_directory);
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
  EXPECT_EQ((Saved{{"C:\\Users\\Ann\\Desktop\\orvik7.lnk", "c:\\orvik7\\orvik7.exe",
                    "c:\\orvik7", "Orvik 7.0 (Ostmarrow)", true}}),
            shell_.saved);
}

}  // namespace
}  // namespace orvik
