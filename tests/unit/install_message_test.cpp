#include "engine/install_message.h"

#include <gtest/gtest.h>

#include "engine/result_codes.h"
#include "tests/unit/test_support.h"

namespace orvik {
namespace {

using testing::CapturedLog;
using testing::TempFolder;

// Drive D is a CD folder, C the current drive with its own folder.
class MessageFile : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::ResetGlobalState();
    files_.MapDrive('C', current_.path());
    files_.MapDrive('D', cd_.path());
    files_.SetCurrentDrive('C');
  }
  void TearDown() override { testing::ResetGlobalState(); }

  MessageResult Load(char drive, char language, unsigned skip, unsigned count) {
    return LoadInstallMessage(files_, drive, language, skip, count, text_);
  }

  TempFolder current_;
  TempFolder cd_;
  PosixFileSystem files_;
  std::string text_ = "stale";
};

TEST_F(MessageFile, ReadsRequestedLinesWithTheirStoredLineEnds) {
  cd_.WriteFile("install/einstall.dat", "zero\r\none\ntwo\r\nthree\n");
  EXPECT_EQ(MessageResult::kFound, Load('D', 'e', 1, 2));
  EXPECT_EQ("one\ntwo\r\n", text_);
}

TEST_F(MessageFile, CandidatesInOrderAndOnlyLaterOnesLogged) {
  current_.WriteFile("dinstall.dat", "here\n");
  cd_.WriteFile("install/dinstall.dat", "cd\n");
  CapturedLog log;
  EXPECT_EQ(MessageResult::kFound, Load('D', 'd', 0, 1));
  EXPECT_EQ("here\n", text_);
  EXPECT_EQ("", log.Text());

  EXPECT_EQ(MessageResult::kNotFound, Load('D', 'e', 0, 1));
  EXPECT_EQ("", text_);
  EXPECT_EQ("Looking for 'D:\\install\\einstall.dat': 00000000\n"
            "Looking for 'D:\\install\\install.dat': 00000000, version 7\n",
            log.Text());
}

TEST_F(MessageFile, SecondCandidateLogsNonZeroIdentity) {
  cd_.WriteFile("install/finstall.dat", "bonjour\n");
  CapturedLog log;
  EXPECT_EQ(MessageResult::kFound, Load('d', 'f', 0, 3));
  EXPECT_EQ("bonjour\n", text_);
  const std::string line = log.Text();
  ASSERT_EQ(0u, line.rfind("Looking for 'd:\\install\\finstall.dat': ", 0));
  const std::string identity = line.substr(line.find(": ") + 2, 8);
  EXPECT_NE("00000000", identity);
  EXPECT_EQ(std::string::npos, identity.find_first_not_of("0123456789ABCDEF"));
  EXPECT_EQ(line.size(), line.find(identity) + 9);
  EXPECT_EQ(8, g_nProductVersion);
}

TEST_F(MessageFile, LegacyFileSetsVersionSevenForGood) {
  cd_.WriteFile("install/install.dat", "old\n");
  EXPECT_EQ(MessageResult::kFound, Load('D', 'e', 0, 1));
  EXPECT_EQ("old\n", text_);
  EXPECT_EQ(7, g_nProductVersion);
  cd_.WriteFile("install/einstall.dat", "new\n");
  EXPECT_EQ(MessageResult::kFound, Load('D', 'e', 0, 1));
  EXPECT_EQ(7, g_nProductVersion);
}

TEST_F(MessageFile, NothingFoundGivesNotFoundAndEmptyText) {
  EXPECT_EQ(MessageResult::kNotFound, Load('D', 'i', 0, 3));
  EXPECT_EQ("", text_);
  EXPECT_EQ(8, g_nProductVersion);
}

TEST_F(MessageFile, ZeroDriveLetterGivesEmptyCandidateNames) {
  cd_.WriteFile("install/install.dat", "never\n");
  CapturedLog log;
  EXPECT_EQ(MessageResult::kNotFound, Load('\0', 'e', 0, 1));
  EXPECT_EQ("Looking for '': 00000000\nLooking for '': 00000000, version 7\n",
            log.Text());
  current_.WriteFile("einstall.dat", "local\n");
  EXPECT_EQ(MessageResult::kFound, Load('\0', 'e', 0, 1));
  EXPECT_EQ("local\n", text_);
}

TEST_F(MessageFile, MarkerRemovedAfterEveryReadEarliestFirst) {
  cd_.WriteFile("install/einstall.dat",
                "a\\nb\\nc\n"      // two markers in line 0
                "plain\n"
                "end\\n\r\n");     // marker just before the line end
  EXPECT_EQ(MessageResult::kFound, Load('D', 'e', 0, 1));
  EXPECT_EQ("ab\\nc\n", text_) << "one marker per read";
  EXPECT_EQ(MessageResult::kFound, Load('D', 'e', 0, 3));
  EXPECT_EQ("abc\nplain\nend\r\n", text_);
}

TEST_F(MessageFile, MarkerNeedsAdjacentBytesAndSkippedLinesAreNotSearched) {
  cd_.WriteFile("install/einstall.dat", "x\\\nny\n");
  EXPECT_EQ(MessageResult::kFound, Load('D', 'e', 0, 2));
  EXPECT_EQ("x\\\nny\n", text_) << "a line feed stands between them";
  cd_.WriteFile("install/einstall.dat", "skip\\n\nkeep\n");
  EXPECT_EQ(MessageResult::kFound, Load('D', 'e', 1, 1));
  EXPECT_EQ("keep\n", text_);
}

TEST_F(MessageFile, LongLineIsReadAsTwoAndShiftsLaterLines) {
  const std::string long_line(250, 'x');
  cd_.WriteFile("install/einstall.dat", long_line + "\nnext\n");
  EXPECT_EQ(MessageResult::kFound, Load('D', 'e', 0, 1));
  EXPECT_EQ(std::string(199, 'x'), text_);
  EXPECT_EQ(MessageResult::kFound, Load('D', 'e', 1, 1));
  EXPECT_EQ(std::string(51, 'x') + "\n", text_);
  EXPECT_EQ(MessageResult::kFound, Load('D', 'e', 2, 1));
  EXPECT_EQ("next\n", text_);
  EXPECT_EQ(MessageResult::kFound, Load('D', 'e', 0, 3));
  EXPECT_EQ(long_line + "\nnext\n", text_) << "no truncation of the whole";
}

TEST_F(MessageFile, ShortEmptyAndOddFiles) {
  cd_.WriteFile("install/einstall.dat", "");
  EXPECT_EQ(MessageResult::kFound, Load('D', 'e', 0, 3));
  EXPECT_EQ("", text_);

  cd_.WriteFile("install/einstall.dat", "only\n");
  EXPECT_EQ(MessageResult::kFound, Load('D', 'e', 13, 1));
  EXPECT_EQ("", text_);

  cd_.WriteFile("install/einstall.dat", "no line end at all");
  EXPECT_EQ(MessageResult::kFound, Load('D', 'e', 0, 3));
  EXPECT_EQ("no line end at all", text_);

  cd_.WriteFile("install/einstall.dat", std::string("ab\0cd\nef\n", 9));
  EXPECT_EQ(MessageResult::kFound, Load('D', 'e', 0, 2));
  EXPECT_EQ("abef\n", text_) << "a line counts up to its first NUL";
}

}  // namespace
}  // namespace orvik
