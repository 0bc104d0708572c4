#include "ui/install_dlg.h"

#include <gtest/gtest.h>

#include "engine/install_message.h"
#include "ui/resource.h"
#include "tests/unit/fakes.h"
#include "tests/unit/test_support.h"

namespace orvik {
namespace {

using testing::FakeDialogWindow;
using testing::FakeDrives;
using testing::FakeShell;
using testing::TempFolder;

const char kIntro[] = "Welcome\r\nPick a language\r\nPress OK\r\n";

// Folders for drives c and e (fixed disks), d and f (CD-ROM); the current
// drive is c.
class InstallDialog : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::ResetGlobalState();
    for (char letter : {'c', 'd', 'e', 'f'}) files_.MapDrive(letter, folders_[letter - 'c'].path());
    files_.SetCurrentDrive('c');
    drives_.AddCdRom('d');
    drives_.AddCdRom('f');
    dialog_.Attach(&window_);
    dialog_.m_cSourceDrive = 'C';
  }
  void TearDown() override { testing::ResetGlobalState(); }

  const TempFolder& Drive(char letter) { return folders_[letter - 'c']; }

  TempFolder folders_[4];
  PosixFileSystem files_;
  FakeDrives drives_;
  FakeShell shell_;
  FakeDialogWindow window_;
  CInstallDlg dialog_{InstallServices{files_, drives_, shell_}};
};

TEST_F(InstallDialog, InitShowsEnglishIntroAndDefaultFolder) {
  Drive('c').WriteFile("install/einstall.dat", std::string(kIntro) + "line 3\r\n");
  EXPECT_TRUE(dialog_.OnInitDialog());
  EXPECT_EQ(IDC_LANG_ENGLISH, window_.checked);
  EXPECT_EQ(kIntro, window_.texts[IDC_MESSAGE]);
  EXPECT_EQ("c:\\orvik8", window_.texts[IDC_DEST_DIR]);
  EXPECT_EQ('e', dialog_.m_cLanguage);
  EXPECT_EQ(kIntro, window_.painted[IDC_MESSAGE]) << "repainted after the text";
  EXPECT_TRUE(window_.active);
  EXPECT_EQ('C', dialog_.m_cSourceDrive) << "found on the source drive: kept as is";
  EXPECT_EQ(0, drives_.queries);
}

TEST_F(InstallDialog, SearchTakesLowestCdRomDriveInLowerCaseAndSkipsFixedDisks) {
  Drive('e').WriteFile("install/dinstall.dat", "fixed disk\n");
  Drive('d').WriteFile("install/dinstall.dat", "on d\n");
  Drive('f').WriteFile("install/dinstall.dat", "on f\n");
  dialog_.OnSelectLanguage('d');
  EXPECT_EQ("on d\n", window_.texts[IDC_MESSAGE]);
  EXPECT_EQ('d', dialog_.m_cSourceDrive);

  // The next language looks on d first and needs no search.
  const int queries = drives_.queries;
  Drive('d').WriteFile("install/finstall.dat", "sur d\n");
  dialog_.OnSelectLanguage('f');
  EXPECT_EQ("sur d\n", window_.texts[IDC_MESSAGE]);
  EXPECT_EQ(queries, drives_.queries);
}

TEST_F(InstallDialog, FixedDiskIsNeverTriedEvenWhenItHoldsTheFile) {
  Drive('e').WriteFile("install/iinstall.dat", "fixed\n");
  window_.texts[IDC_MESSAGE] = "old";
  dialog_.OnSelectLanguage('i');
  EXPECT_EQ("", window_.texts[IDC_MESSAGE]);
  EXPECT_EQ('C', dialog_.m_cSourceDrive);
  EXPECT_EQ('i', dialog_.m_cLanguage);
}

TEST_F(InstallDialog, LegacyCdOnHigherDriveStillLosesToLowerLetter) {
  Drive('d').WriteFile("install/install.dat", "legacy on d\n");
  Drive('f').WriteFile("install/einstall.dat", "current on f\n");
  dialog_.OnInitDialog();
  EXPECT_EQ("legacy on d\n", window_.texts[IDC_MESSAGE]);
  EXPECT_EQ('d', dialog_.m_cSourceDrive);
  EXPECT_EQ("c:\\orvik7", window_.texts[IDC_DEST_DIR]);
}

TEST_F(InstallDialog, LegacyFoundLaterKeepsTheFolderText) {
  Drive('c').WriteFile("install/einstall.dat", kIntro);
  Drive('c').WriteFile("install/install.dat", "legacy\n");
  dialog_.OnInitDialog();
  dialog_.OnSelectLanguage('d');
  EXPECT_EQ("legacy\n", window_.texts[IDC_MESSAGE]);
  EXPECT_EQ(7, g_nProductVersion);
  EXPECT_EQ("c:\\orvik8", window_.texts[IDC_DEST_DIR]);
}

TEST_F(InstallDialog, NothingAnywhereLeavesEmptyTextAndEightDefault) {
  dialog_.OnInitDialog();
  EXPECT_EQ("", window_.texts[IDC_MESSAGE]);
  EXPECT_EQ("c:\\orvik8", window_.texts[IDC_DEST_DIR]);
}

TEST_F(InstallDialog, CommandsRouteToLanguagesAndCancel) {
  Drive('c').WriteFile("install/dinstall.dat", "deutsch\n");
  EXPECT_TRUE(dialog_.OnCommand(IDC_LANG_DEUTSCH));
  EXPECT_EQ('d', dialog_.m_cLanguage);
  EXPECT_TRUE(dialog_.OnCommand(IDC_LANG_ITALIANO));
  EXPECT_EQ('i', dialog_.m_cLanguage);
  EXPECT_FALSE(dialog_.OnCommand(ID_HELP));
  EXPECT_TRUE(dialog_.OnCommand(IDCANCEL));
  EXPECT_EQ(IDCANCEL, window_.end_result);
}

}  // namespace
}  // namespace orvik
