#include "platform/posix/posix_file_system.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/unit/test_support.h"

namespace orvik {
namespace {

namespace fs = std::filesystem;
using testing::TempFolder;

class PosixFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    files_.MapDrive('C', disk_.path());
    files_.SetCurrentDrive('C');
  }

  std::string Host(const std::string& relative) const {
    return disk_.path() + "/" + relative;
  }
  std::string HostName(const std::string& windows_path) const {
    return files_.HostPath(windows_path).value_or("<none>").substr(disk_.path().size());
  }
  std::string Read(const std::string& windows_path) {
    auto file = files_.OpenForReading(windows_path);
    if (!file) return "<cannot open>";
    char buffer[64];
    const auto got = file->Read(buffer, sizeof buffer);
    return std::string(buffer, got > 0 ? static_cast<std::size_t>(got) : 0);
  }

  TempFolder disk_;
  PosixFileSystem files_;
};

// The names are learnt once per folder and must follow every change made
// behind the file system's back, however quickly it follows.
TEST_F(PosixFiles, NamesMatchIgnoringCaseAndFollowHostChanges) {
  disk_.WriteFile("Data/Foo.txt", "foo");
  EXPECT_EQ("foo", Read("C:\\DATA\\foo.TXT"));

  fs::rename(Host("Data/Foo.txt"), Host("Data/BAR.txt"));
  EXPECT_EQ("<cannot open>", Read("C:\\data\\foo.txt"));
  EXPECT_EQ("foo", Read("C:\\data\\bar.txt"));

  disk_.WriteFile("Data/Case.dat", "new");
  EXPECT_EQ("new", Read("c:\\data\\CASE.DAT")) << "a file made since the names were learnt";

  fs::remove(Host("Data/Case.dat"));
  EXPECT_EQ("/Data/CASE.DAT", HostName("C:\\data\\CASE.DAT"))
      << "a missing name is kept as spelled";
  EXPECT_TRUE(files_.RemoveFile("C:\\data\\BAR.TXT"));
  EXPECT_FALSE(disk_.Exists("Data/BAR.txt"));
}

TEST_F(PosixFiles, FolderReplacedUnderTheSamePathIsReadAnew) {
  disk_.WriteFile("orvik8/Old.dat", "old");
  EXPECT_EQ("old", Read("C:\\orvik8\\old.dat"));
  fs::rename(Host("orvik8"), Host("moved"));
  disk_.WriteFile("orvik8/New.dat", "new");
  EXPECT_EQ("<cannot open>", Read("C:\\orvik8\\old.dat"));
  EXPECT_EQ("new", Read("C:\\orvik8\\new.dat"));
  EXPECT_EQ("old", Read("C:\\MOVED\\OLD.DAT"));

  fs::remove_all(Host("orvik8"));
  disk_.WriteFile("orvik8/Third.dat", "third");
  EXPECT_EQ("third", Read("C:\\orvik8\\THIRD.dat"));
}

TEST_F(PosixFiles, ExactSpellingWinsOverAnotherCase) {
  disk_.WriteFile("x/Name.txt", "capital");
  disk_.WriteFile("x/name.txt", "small");
  EXPECT_EQ("small", Read("C:\\x\\name.txt"));
  EXPECT_EQ("capital", Read("C:\\x\\Name.txt"));
  fs::remove(Host("x/name.txt"));
  EXPECT_EQ("capital", Read("C:\\x\\name.txt"));
}

// As on Windows: a name taken in any case, or by a link of any kind, is
// taken; a move replaces the entry of that name in whatever case it has.
TEST_F(PosixFiles, ExclusiveCreationAndReplacingMove) {
  disk_.WriteFile("x/Taken.txt", "old");
  fs::create_symlink(Host("nowhere"), Host("x/dangling"));
  for (const char* taken : {"C:\\x\\taken.TXT", "C:\\x\\dangling"})
    EXPECT_EQ(nullptr, files_.CreateExclusive(taken)) << taken;
  auto file = files_.CreateExclusive("C:\\x\\new.tmp");
  ASSERT_TRUE(file);
  file->Write("new", 3);
  file->Close();
  EXPECT_TRUE(files_.MoveReplacing("C:\\x\\new.tmp", "C:\\x\\TAKEN.txt"));
  EXPECT_EQ("new", disk_.ReadFile("x/Taken.txt"));
  EXPECT_FALSE(disk_.Exists("x/new.tmp"));
  EXPECT_FALSE(disk_.Exists("x/TAKEN.txt"));
  EXPECT_TRUE(files_.Exists("C:\\x\\DANGLING"));
  EXPECT_FALSE(files_.Exists("C:\\x\\missing"));
}

TEST_F(PosixFiles, CreateFolderTellsMissingPathsFromOtherFailures) {
  EXPECT_EQ(CreateFolderResult::kCreated, files_.CreateFolder("C:\\orvik8"));
  EXPECT_EQ(CreateFolderResult::kOtherError, files_.CreateFolder("c:\\ORVIK8"))
      << "exists";
  for (const char* missing : {"C:\\a\\b", "Q:\\orvik8", "\\\\server\\share", ""})
    EXPECT_EQ(CreateFolderResult::kNoSuchPath, files_.CreateFolder(missing))
        << "'" << missing << "'";
  disk_.WriteFile("file", "");
  EXPECT_EQ(CreateFolderResult::kNoSuchPath, files_.CreateFolder("C:\\file\\sub"));
  EXPECT_EQ(CreateFolderResult::kNoSuchPath,
            files_.CreateFolder("C:\\" + std::string(300, 'n')))
      << "a name too long";
  for (const char* invalid : {"C:\\a|b", "C:\\what?", "C:\\x\\c:d"})
    EXPECT_EQ(CreateFolderResult::kOtherError, files_.CreateFolder(invalid))
        << invalid << ": an invalid name is not a missing path";
}

}  // namespace
}  // namespace orvik
