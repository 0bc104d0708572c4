#include "engine/copy_engine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "engine/result_codes.h"
#include "tests/unit/faulty_file_system.h"
#include "tests/unit/test_support.h"

namespace orvik {
namespace {

using testing::FaultyFileSystem;
using testing::Operation;
using testing::TempFolder;

#define EXPECT_RESULT(expected, actual) \
  EXPECT_STREQ(InstallResultName(expected), InstallResultName(actual))

// Line n of the test message files: "line 4\n" in English, "d line 4\n" in
// Deutsch, so that a text shows which file and lines it came from.
std::string MessageLine(char language, unsigned n) {
  const std::string prefix = language == 'e' ? "" : std::string(1, language) + " ";
  return prefix + "line " + std::to_string(n) + "\n";
}

std::string MessageFile(char language) {
  std::string text;
  for (unsigned n = 0; n < 16; ++n) text += MessageLine(language, n);
  return text;
}

std::string Lines(unsigned first, unsigned count, char language = 'e') {
  std::string text;
  for (unsigned n = first; n < first + count; ++n)
    text += MessageLine(language, n);
  return text;
}

// A header and CR LF lines, as the CD's copy lists are written.
std::string CopyListText(const std::vector<std::string>& entries) {
  std::string text = std::to_string(entries.size()) + " 0\r\n";
  for (const auto& entry : entries) text += entry + "\r\n";
  return text;
}

// Every byte value, CR LF, lone CR and LF, NUL and Ctrl-Z, over several
// chunks with a partial last one.
std::string BinaryContent(std::size_t size) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i)
    bytes[i] = static_cast<char>((i * 7 + i / 256) & 0xFF);
  return bytes;
}

const std::string kStartup =
    "01 version 8.0\r\n10 window size 800 600\r\n51 language e\r\n"
    "60 recent files 8\r\n";
const std::string kFactory =
    "01 version 8.0\r\n51 language e\r\n70 toolbar standard\r\n";

std::string WithLanguage(std::string text, char language) {
  const auto at = text.find("51 language ");
  text[at + 12] = language;
  return text;
}

// The worked example's list: four check-only files, two copied, a fifth
// check-only at position 6, and a keep-existing settings file.
const std::vector<std::string> kExampleEntries = {
    "\\data\\a.dat",    "\\data\\b.dat",       "\\data\\c.dat",
    "\\data\\d.dat",    "\\prog\\main.exe",    "\\prog\\startup.mar",
    "\\data\\e.dat",    "$\\prog\\factory.mar"};

// Drive C is the hard disk and current drive, D the CD.
class CopyEngine : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::ResetGlobalState();
    files_.MapDrive('C', disk_.path());
    files_.MapDrive('D', cd_.path());
    files_.SetCurrentDrive('C');
    for (char language : {'e', 'd', 'f', 'i'})
      cd_.WriteFile(std::string("install/") + language + "install.dat",
                    MessageFile(language));
    for (char name : {'a', 'b', 'c', 'd', 'e'})
      cd_.WriteFile(std::string("data/") + name + ".dat", "check " + std::string(1, name));
    cd_.WriteFile("prog/main.exe", BinaryContent(100000));
    cd_.WriteFile("prog/startup.mar", kStartup);
    cd_.WriteFile("prog/factory.mar", kFactory);
  }
  void TearDown() override { testing::ResetGlobalState(); }

  void WriteCopyList(char letter, const std::vector<std::string>& entries) {
    cd_.WriteFile(std::string("install/") + letter + "opylist.dat",
                  CopyListText(entries));
  }

  // The example's list with `entry` at position 4, the first copied one.
  void WriteListCopying(const std::string& entry) {
    auto entries = kExampleEntries;
    entries[4] = entry;
    entries.resize(5);
    WriteCopyList('e', entries);
  }

  InstallResult Install(FileSystem& files, char copy_list_drive, char source_drive,
              char language, const std::string& dest) {
    return CopyInstallFiles(files, copy_list_drive, source_drive, language,
                            dest, message_);
  }
  InstallResult Install(char source_drive, char language, const std::string& dest) {
    return Install(files_, 0, source_drive, language, dest);
  }

  std::vector<std::string> OpenedForReading(const FaultyFileSystem& faulty) {
    std::vector<std::string> paths;
    for (const auto& call : faulty.calls())
      if (call.op == Operation::kOpenForReading) paths.push_back(call.path);
    return paths;
  }

  std::size_t FilesIn(const std::string& host_folder) {
    std::size_t count = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(host_folder))
      count += entry.is_regular_file() ? 1 : 0;
    return count;
  }

  TempFolder disk_;
  TempFolder cd_;
  PosixFileSystem files_;
  std::string message_ = "stale";
};

TEST_F(CopyEngine, WorkedExampleEndToEnd) {
  WriteCopyList('d', kExampleEntries);
  FaultyFileSystem watched(files_);
  EXPECT_RESULT(InstallResult::kOk, Install(watched, 0, 'D', 'd', "C:\\orvik8"));
  EXPECT_EQ(Lines(13, 1, 'd'), message_);
  EXPECT_STREQ("dopylist.dat", g_szCopyListName);

  EXPECT_EQ(BinaryContent(100000), disk_.ReadFile("orvik8/main.exe"));
  EXPECT_EQ(WithLanguage(kStartup, 'd') + "18 cd drive D\n",
            disk_.ReadFile("orvik8/startup.mar"));
  EXPECT_EQ(WithLanguage(kFactory, 'd'), disk_.ReadFile("orvik8/factory.mar"));
  EXPECT_EQ(3u, FilesIn(disk_.path() + "/orvik8")) << "check-only files copied";
  EXPECT_EQ("C:\\orvik8", files_.CurrentFolder());

  // One buffer of the largest chunk, in which the settings files are read
  // (its size decides which language lines are patched), and one of a
  // MiB for the files copied as raw bytes (the text files are read line
  // by line).
  ASSERT_EQ(2u, watched.CallCount(Operation::kAllocate));
  for (const auto& call : watched.calls()) {
    if (call.op == Operation::kAllocate) {
      EXPECT_TRUE(call.bytes == 32768 || call.bytes == 1 << 20) << call.bytes;
    } else if (call.op == Operation::kRead && call.path.find("\\install\\") == std::string::npos) {
      const bool settings = call.path.find(".mar") != std::string::npos;
      EXPECT_EQ(settings ? 32768u : 1u << 20, call.requested) << call.path;
    }
  }
  EXPECT_EQ("D:\\install\\dopylist.dat", OpenedForReading(watched).front());
}

TEST_F(CopyEngine, ExistingDestinationOverwrittenExceptKeepExistingEntries) {
  WriteCopyList('e', kExampleEntries);
  disk_.WriteFile("orvik8/main.exe", "old program");
  disk_.WriteFile("orvik8/factory.mar", "the user's settings");
  disk_.WriteFile("orvik8/astdata.ast", "stale");
  disk_.WriteFile("orvik8/ASTDATA.LIM", "stale");
  disk_.WriteFile("orvik8/notes.txt", "kept");
  EXPECT_RESULT(InstallResult::kOk, Install('D', 'e', "C:\\orvik8"));
  EXPECT_EQ(BinaryContent(100000), disk_.ReadFile("orvik8/main.exe"));
  EXPECT_EQ("the user's settings", disk_.ReadFile("orvik8/factory.mar"));
  EXPECT_FALSE(disk_.Exists("orvik8/astdata.ast"));
  EXPECT_FALSE(disk_.Exists("orvik8/ASTDATA.LIM")) << "names match without case";
  EXPECT_EQ("kept", disk_.ReadFile("orvik8/notes.txt"));
}

TEST_F(CopyEngine, KeepExistingStartupGetsNeitherPatchNorDriveLine) {
  auto entries = kExampleEntries;
  entries[5] = "$\\prog\\startup.mar";
  WriteCopyList('f', entries);
  disk_.WriteFile("orvik8/startup.mar", "51 language i\n");
  EXPECT_RESULT(InstallResult::kOk, Install('D', 'f', "C:\\orvik8"));
  EXPECT_EQ("51 language i\n", disk_.ReadFile("orvik8/startup.mar"));
  EXPECT_EQ(WithLanguage(kFactory, 'f'), disk_.ReadFile("orvik8/factory.mar"));
}

TEST_F(CopyEngine, MissingParentFolderFailsBeforeAnythingIsWritten) {
  WriteCopyList('d', kExampleEntries);
  for (const char* dest : {"C:\\a\\b", "Q:\\orvik8", "\\\\server\\share\\x"}) {
    EXPECT_RESULT(InstallResult::kDestFolderFailed, Install('D', 'd', dest)) << dest;
    EXPECT_EQ(Lines(4, 2, 'd'), message_);
  }
  EXPECT_STREQ("eopylist.dat", g_szCopyListName) << "set only after step 3";
  EXPECT_EQ(0u, FilesIn(disk_.path()));
  EXPECT_EQ("C:\\", files_.CurrentFolder());
}

TEST_F(CopyEngine, OtherFolderFailuresAreIgnored) {
  WriteCopyList('e', kExampleEntries);
  disk_.WriteFile("orvik8", "a file where the folder should be");
  EXPECT_RESULT(InstallResult::kDestFileFailed, Install('D', 'e', "C:\\orvik8"))
      << "the run goes on until the first file cannot be created";
  EXPECT_EQ(Lines(9, 3), message_);
}

TEST_F(CopyEngine, CopyListFallbacksChangeThePathOnly) {
  FaultyFileSystem watched(files_);
  EXPECT_RESULT(InstallResult::kCopyListFailed, Install(watched, 0, 'D', 'd', "C:\\o"));
  EXPECT_EQ(Lines(6, 2, 'd'), message_);
  const std::vector<std::string> german = {"D:\\install\\dopylist.dat",
                                           "D:\\install\\eopylist.dat",
                                           "D:\\install\\copylist.dat"};
  auto opened = OpenedForReading(watched);
  EXPECT_EQ(german, std::vector<std::string>(opened.begin(), opened.begin() + 3));
  EXPECT_STREQ("dopylist.dat", g_szCopyListName);

  FaultyFileSystem english(files_);
  EXPECT_RESULT(InstallResult::kCopyListFailed, Install(english, 0, 'D', 'e', "C:\\o"));
  opened = OpenedForReading(english);
  EXPECT_EQ("D:\\install\\eopylist.dat", opened[0]);
  EXPECT_EQ("D:\\install\\copylist.dat", opened[1]);

  cd_.WriteFile("install/copylist.dat", "0 0\r\n");
  EXPECT_RESULT(InstallResult::kOk, Install('D', 'i', "C:\\o"));
  WriteCopyList('e', {});
  cd_.WriteFile("install/copylist.dat", "junk");
  EXPECT_RESULT(InstallResult::kOk, Install('D', 'i', "C:\\o")) << "English comes first";
  EXPECT_STREQ("iopylist.dat", g_szCopyListName);
}

TEST_F(CopyEngine, LanguageLetterKeptForALaterCallWithoutOne) {
  WriteCopyList('f', {});
  EXPECT_RESULT(InstallResult::kOk, Install('D', 'f', "C:\\orvik8"));
  FaultyFileSystem watched(files_);
  EXPECT_RESULT(InstallResult::kOk, Install(watched, 0, 'D', '\0', "C:\\orvik8"));
  EXPECT_EQ("D:\\install\\fopylist.dat", OpenedForReading(watched).front());
  EXPECT_STREQ("fopylist.dat", g_szCopyListName);
}

TEST_F(CopyEngine, HeaderCountZeroStillFinishesTheRun) {
  WriteCopyList('e', {});
  disk_.WriteFile("orvik8/astdata.ast", "stale");
  disk_.WriteFile("orvik8/astdata.lim", "stale");
  cd_.WriteFile("install/eopylist.dat", "-3 0\r\n\\data\\a.dat\r\n");
  EXPECT_RESULT(InstallResult::kOk, Install('D', 'e', "C:\\orvik8"));
  EXPECT_EQ(Lines(13, 1), message_);
  EXPECT_EQ("C:\\orvik8", files_.CurrentFolder());
  EXPECT_EQ(0u, FilesIn(disk_.path()));
}

TEST_F(CopyEngine, MissingSourceAtAnyPositionGivesTheSourceFileFailure) {
  for (const char* missing : {"data/a.dat", "data/d.dat", "prog/main.exe",
                              "data/e.dat", "prog/factory.mar"}) {
    SCOPED_TRACE(missing);
    WriteCopyList('e', kExampleEntries);
    const std::string kept = cd_.ReadFile(missing);
    std::filesystem::remove(cd_.path() + "/" + missing);
    disk_.WriteFile("orvik8/factory.mar", "exists, yet the CD file must too");
    EXPECT_RESULT(InstallResult::kSourceFileFailed, Install('D', 'i', "C:\\orvik8"));
    EXPECT_EQ(Lines(9, 3, 'i'), message_);
    EXPECT_EQ("C:\\", files_.CurrentFolder()) << "nothing after a failure";
    cd_.WriteFile(missing, kept);
  }
}

TEST_F(CopyEngine, CheckOnlyEntriesAreOpenedAndClosedNeverRead) {
  WriteCopyList('e', kExampleEntries);
  FaultyFileSystem watched(files_);
  EXPECT_RESULT(InstallResult::kOk, Install(watched, 0, 'D', 'e', "C:\\orvik8"));
  for (char name : {'a', 'b', 'c', 'd', 'e'}) {
    const std::string path = std::string("D:\\data\\") + name + ".dat";
    int opened = 0, closed = 0, read = 0;
    for (const auto& call : watched.calls()) {
      if (call.path != path) continue;
      opened += call.op == Operation::kOpenForReading;
      closed += call.op == Operation::kClose;
      read += call.op == Operation::kRead;
    }
    EXPECT_EQ(1, opened) << path;
    EXPECT_EQ(1, closed) << path;
    EXPECT_EQ(0, read) << path;
  }
}

TEST_F(CopyEngine, EntriesFromTheCopyListDrive) {
  TempFolder floppy;
  files_.MapDrive('A', floppy.path());
  floppy.WriteFile("extra/x.dat", "from A");
  auto entries = kExampleEntries;
  entries.push_back(":\\extra\\x.dat");
  floppy.WriteFile("dopylist.dat", CopyListText(entries));
  FaultyFileSystem watched(files_);
  EXPECT_RESULT(InstallResult::kOk, Install(watched, 'A', 'D', 'd', "C:\\orvik8"));
  EXPECT_EQ("A:\\dopylist.dat", OpenedForReading(watched).front());
  EXPECT_EQ("from A", disk_.ReadFile("orvik8/x.dat"));
  EXPECT_EQ(BinaryContent(100000), disk_.ReadFile("orvik8/main.exe"));

  auto without_drive = kExampleEntries;
  without_drive[4] = ":\\extra\\x.dat";
  WriteCopyList('e', without_drive);
  cd_.WriteFile("extra/x.dat", "on the CD, but not asked for");
  EXPECT_RESULT(InstallResult::kSourceFileFailed, Install('D', 'e', "C:\\orvik8"));
  EXPECT_EQ(Lines(9, 3), message_);
}

TEST_F(CopyEngine, WithoutSourceDriveEverythingComesFromTheCurrentDrive) {
  WriteCopyList('e', kExampleEntries);
  files_.SetCurrentDrive('D');
  FaultyFileSystem watched(files_);
  EXPECT_RESULT(InstallResult::kOk, Install(watched, 0, '\0', 'e', "C:\\orvik8"));
  const auto opened = OpenedForReading(watched);
  EXPECT_EQ("\\install\\eopylist.dat", opened[0]);
  EXPECT_EQ("\\data\\a.dat", opened[1]);
  EXPECT_EQ(kStartup + "18 cd drive D\n", disk_.ReadFile("orvik8/startup.mar"));
}

TEST_F(CopyEngine, DriveLineWithoutSourceDriveIsTheCurrentDriveInUpperCase) {
  WriteListCopying("\\prog\\startup.mar");
  FaultyFileSystem lower(files_);
  lower.SetCurrentDriveLetter('d');
  files_.SetCurrentDrive('D');
  EXPECT_RESULT(InstallResult::kOk, Install(lower, 0, '\0', 'e', "C:\\orvik8"));
  EXPECT_EQ(kStartup + "18 cd drive D\n", disk_.ReadFile("orvik8/startup.mar"));

  FaultyFileSystem network(files_);
  network.SetCurrentDriveLetter('@');
  files_.SetCurrentDrive('D');
  EXPECT_RESULT(InstallResult::kOk, Install(network, 0, '\0', 'e', "C:\\orvik8"));
  EXPECT_EQ(kStartup + "18 cd drive @\n", disk_.ReadFile("orvik8/startup.mar"));
}

TEST_F(CopyEngine, SettingsFilesKnownByNameIgnoringCaseAnywhereOnTheCd) {
  cd_.WriteFile("prog/cfg/Startup.Mar", kStartup);
  cd_.WriteFile("prog/FACTORY.MAR", kFactory);
  cd_.WriteFile("prog/startup.mar.bak", kStartup);
  cd_.WriteFile("prog/xstartup.mar", kStartup);
  auto entries = kExampleEntries;
  entries[4] = "\\prog\\cfg\\Startup.Mar";
  entries[5] = "\\prog\\FACTORY.MAR";
  entries[7] = "\\prog\\startup.mar.bak";
  entries.push_back("\\prog\\xstartup.mar");
  WriteCopyList('i', entries);
  EXPECT_RESULT(InstallResult::kOk, Install('D', 'i', "C:\\orvik8"));
  EXPECT_EQ(WithLanguage(kStartup, 'i') + "18 cd drive D\n",
            disk_.ReadFile("orvik8/Startup.Mar"));
  EXPECT_EQ(WithLanguage(kFactory, 'i'), disk_.ReadFile("orvik8/FACTORY.MAR"));
  EXPECT_EQ(kStartup, disk_.ReadFile("orvik8/startup.mar.bak"));
  EXPECT_EQ(kStartup, disk_.ReadFile("orvik8/xstartup.mar"));
}

TEST_F(CopyEngine, LanguageSearchIsCaseSensitive) {
  cd_.WriteFile("prog/factory.mar", "51 Language e\r\n51 LANGUAGE e\r\n");
  WriteListCopying("\\prog\\factory.mar");
  EXPECT_RESULT(InstallResult::kOk, Install('D', 'f', "C:\\orvik8"));
  EXPECT_EQ("51 Language e\r\n51 LANGUAGE e\r\n",
            disk_.ReadFile("orvik8/factory.mar"));
}

TEST_F(CopyEngine, WithoutLanguageNoPatchButTheDriveLineAsPassed) {
  WriteCopyList('e', kExampleEntries);
  EXPECT_RESULT(InstallResult::kOk, Install('d', '\0', "C:\\orvik8"));
  EXPECT_EQ(kStartup + "18 cd drive d\n", disk_.ReadFile("orvik8/startup.mar"));
  EXPECT_EQ(kFactory, disk_.ReadFile("orvik8/factory.mar"));
}

TEST_F(CopyEngine, TrailingBackslashInTheDestination) {
  WriteCopyList('e', kExampleEntries);
  disk_.WriteFile("orvik8/astdata.ast", "stale");
  FaultyFileSystem watched(files_);
  EXPECT_RESULT(InstallResult::kOk, Install(watched, 0, 'D', 'e', "C:\\orvik8\\"));
  EXPECT_EQ(BinaryContent(100000), disk_.ReadFile("orvik8/main.exe"));
  EXPECT_FALSE(disk_.Exists("orvik8/astdata.ast"));
  bool doubled = false;
  for (const auto& call : watched.calls())
    doubled |= call.op == Operation::kMoveReplacing &&
               call.path == "C:\\orvik8\\\\main.exe";
  EXPECT_TRUE(doubled) << "the folder text is used unchanged";
}

TEST_F(CopyEngine, FilesAreCopiedByteForByte) {
  const std::string bytes = std::string("\0\r\n\r\x1A\n\xFF", 7) + BinaryContent(70000);
  cd_.WriteFile("data/every.bin", bytes);
  cd_.WriteFile("data/empty.bin", "");
  auto entries = kExampleEntries;
  entries.push_back("\\data\\every.bin");
  entries.push_back("\\data\\empty.bin");
  WriteCopyList('e', entries);
  EXPECT_RESULT(InstallResult::kOk, Install('D', 'e', "C:\\orvik8"));
  EXPECT_EQ(bytes, disk_.ReadFile("orvik8/every.bin"));
  EXPECT_TRUE(disk_.Exists("orvik8/empty.bin"));
  EXPECT_EQ("", disk_.ReadFile("orvik8/empty.bin"));
}

TEST_F(CopyEngine, MessagesComeFromTheChosenLanguageOrStayEmpty) {
  EXPECT_RESULT(InstallResult::kCopyListFailed, Install('D', 'f', "C:\\orvik8"));
  EXPECT_EQ(Lines(6, 2, 'f'), message_);
  std::filesystem::remove_all(cd_.path() + "/install");
  message_ = "stale";
  EXPECT_RESULT(InstallResult::kCopyListFailed, Install('D', 'f', "C:\\orvik8"));
  EXPECT_EQ("", message_);
}

TEST_F(CopyEngine, DriveLineStandsOnALineOfItsOwn) {
  WriteListCopying("\\prog\\startup.mar");
  const std::pair<std::string, std::string> cases[] = {
      {"51 language e\r\n60 x", "51 language d\r\n60 x\n18 cd drive D\n"},
      {"60 x\r", "60 x\r\n18 cd drive D\n"},
      {"60 x\n", "60 x\n18 cd drive D\n"},
      {"", "18 cd drive D\n"},
  };
  for (const auto& [content, expected] : cases) {
    cd_.WriteFile("prog/startup.mar", content);
    EXPECT_RESULT(InstallResult::kOk, Install('D', 'd', "C:\\orvik8"));
    EXPECT_EQ(expected, disk_.ReadFile("orvik8/startup.mar")) << content;
  }
}

// The first "51 language " of the whole file, patched whatever the chunk
// size: the text may span chunks, the letter be the next chunk's first byte.
std::string ExpectedPatch(std::string text, char language) {
  const auto at = text.find("51 language ");
  if (at != std::string::npos && at + 12 < text.size()) text[at + 12] = language;
  return text;
}

TEST_F(CopyEngine, LanguagePatchDoesNotDependOnTheChunkSize) {
  WriteListCopying("\\prog\\factory.mar");
  std::vector<std::string> contents;
  for (std::size_t lead = 0; lead < 40; ++lead)
    contents.push_back(std::string(lead, 'x') + "51 language e\r\n51 language e\r\n");
  contents.push_back(std::string("\0\0", 2) + "51 language e");
  contents.push_back("551 language e");
  contents.push_back("51 language 51 language e");
  contents.push_back("51 languag 51 language e");
  contents.push_back("xx51 language ");
  contents.push_back(std::string(32768 - 12, 'x') + "51 language e\n");
  contents.push_back(std::string(32768 - 13, 'x') + "51 language e\n");
  contents.push_back(std::string(40000, 'x') + "51 language e\n");
  for (std::size_t limit = 32768; limit > 0; limit /= 2) {
    for (const auto& content : contents) {
      // Small chunks meet every boundary in the short texts already.
      if (limit > 64 && content.size() < 64) continue;
      if (content.size() / limit > 2000) continue;
      cd_.WriteFile("prog/factory.mar", content);
      FaultyFileSystem faulty(files_);
      faulty.LimitAllocation(limit);
      ASSERT_EQ(InstallResult::kOk, Install(faulty, 0, 'D', 'i', "C:\\orvik8"));
      ASSERT_EQ(ExpectedPatch(content, 'i'), disk_.ReadFile("orvik8/factory.mar"))
          << "chunk " << limit << ", content of " << content.size() << " bytes";
    }
  }
}

TEST_F(CopyEngine, RelativeDestinationLosesTheDataFilesWhereTheFilesWent) {
  WriteCopyList('e', kExampleEntries);
  for (const char* folder : {"work/orvik8/", "work/orvik8/orvik8/"}) {
    disk_.WriteFile(std::string(folder) + "astdata.ast", "stale");
    disk_.WriteFile(std::string(folder) + "astdata.lim", "stale");
  }
  ASSERT_TRUE(files_.SetCurrentFolder("C:\\work"));
  EXPECT_RESULT(InstallResult::kOk, Install('D', 'e', "orvik8"));
  EXPECT_EQ(BinaryContent(100000), disk_.ReadFile("work/orvik8/main.exe"));
  EXPECT_EQ("C:\\work\\orvik8", files_.CurrentFolder());
  EXPECT_FALSE(disk_.Exists("work/orvik8/astdata.ast"));
  EXPECT_FALSE(disk_.Exists("work/orvik8/astdata.lim"));
  EXPECT_TRUE(disk_.Exists("work/orvik8/orvik8/astdata.ast"));
  EXPECT_TRUE(disk_.Exists("work/orvik8/orvik8/astdata.lim"));
}

TEST_F(CopyEngine, FailedChangeOfFolderStillRemovesTheRightDataFiles) {
  WriteCopyList('e', kExampleEntries);
  disk_.WriteFile("work/orvik8/astdata.ast", "stale");
  disk_.WriteFile("work/orvik8/astdata.lim", "stale");
  disk_.WriteFile("work/astdata.ast", "not ours");
  ASSERT_TRUE(files_.SetCurrentFolder("C:\\work"));
  FaultyFileSystem faulty(files_);
  faulty.FailCall(Operation::kSetCurrentFolder, 1);
  EXPECT_RESULT(InstallResult::kOk, Install(faulty, 0, 'D', 'e', "orvik8"));
  EXPECT_EQ("C:\\work", files_.CurrentFolder());
  EXPECT_FALSE(disk_.Exists("work/orvik8/astdata.ast"));
  EXPECT_FALSE(disk_.Exists("work/orvik8/astdata.lim"));
  EXPECT_TRUE(disk_.Exists("work/astdata.ast"));
}

// "c:" names C's current folder, but "c:" + "\\main.exe" names the root:
// the data files go from where the files went.
TEST_F(CopyEngine, BareDriveDestinationRemovesTheDataFilesFromTheRoot) {
  WriteCopyList('e', kExampleEntries);
  for (const std::string folder : {"", "work/"}) {
    disk_.WriteFile(folder + "astdata.ast", "stale");
    disk_.WriteFile(folder + "astdata.lim", "stale");
  }
  ASSERT_TRUE(files_.SetCurrentFolder("C:\\work"));
  EXPECT_RESULT(InstallResult::kOk, Install('D', 'e', "C:"));
  EXPECT_EQ(BinaryContent(100000), disk_.ReadFile("main.exe"));
  EXPECT_FALSE(disk_.Exists("astdata.ast"));
  EXPECT_FALSE(disk_.Exists("astdata.lim"));
  EXPECT_TRUE(disk_.Exists("work/astdata.ast"));
  EXPECT_TRUE(disk_.Exists("work/astdata.lim"));
}

// Planted by another user before the installation: links are replaced by
// the copies, never written through.
TEST_F(CopyEngine, LinksInTheDestinationAreReplacedNotWrittenThrough) {
  namespace fs = std::filesystem;
  WriteCopyList('e', kExampleEntries);
  disk_.WriteFile("windows/system.ini", "the system's file");
  disk_.WriteFile("users/ann/notes.txt", "Ann's notes");
  disk_.MakeFolder("orvik8");
  fs::create_symlink(disk_.path() + "/windows/system.ini",
                     disk_.path() + "/orvik8/startup.mar");
  fs::create_hard_link(disk_.path() + "/users/ann/notes.txt",
                       disk_.path() + "/orvik8/main.exe");
  EXPECT_RESULT(InstallResult::kOk, Install('D', 'e', "C:\\orvik8"));
  EXPECT_EQ("the system's file", disk_.ReadFile("windows/system.ini"));
  EXPECT_EQ("Ann's notes", disk_.ReadFile("users/ann/notes.txt"));
  EXPECT_FALSE(fs::is_symlink(disk_.path() + "/orvik8/startup.mar"));
  EXPECT_EQ(kStartup + "18 cd drive D\n", disk_.ReadFile("orvik8/startup.mar"));
  EXPECT_EQ(BinaryContent(100000), disk_.ReadFile("orvik8/main.exe"));
  EXPECT_EQ(3u, FilesIn(disk_.path() + "/orvik8")) << "no temporary file stays";
}

TEST_F(CopyEngine, LinkedDestinationFolderIsRefusedBeforeAnythingIsWritten) {
  WriteCopyList('e', kExampleEntries);
  disk_.WriteFile("elsewhere/astdata.ast", "not ours");
  std::filesystem::create_directory_symlink(disk_.path() + "/elsewhere",
                                            disk_.path() + "/orvik8");
  for (const char* dest : {"C:\\orvik8", "C:\\orvik8\\"}) {
    SCOPED_TRACE(dest);
    EXPECT_RESULT(InstallResult::kDestFolderFailed, Install('D', 'e', dest));
    EXPECT_EQ(Lines(4, 2), message_);
    EXPECT_EQ(1u, FilesIn(disk_.path() + "/elsewhere"));
    EXPECT_EQ("C:\\", files_.CurrentFolder());
  }
}

// The CD's own folder typed as the destination, on a writable disk.
TEST_F(CopyEngine, DestinationThatIsItsOwnSourceStopsBeforeWriting) {
  WriteCopyList('e', kExampleEntries);
  EXPECT_RESULT(InstallResult::kDestFileFailed, Install('D', 'e', "D:\\prog"));
  EXPECT_EQ(Lines(9, 3), message_);
  EXPECT_EQ(BinaryContent(100000), cd_.ReadFile("prog/main.exe"));
  EXPECT_EQ(kStartup, cd_.ReadFile("prog/startup.mar"));
  EXPECT_EQ(3u, FilesIn(cd_.path() + "/prog"));
}

// Locked, or without the right to read it: still there, so still kept.
class UnreadableDisk : public PosixFileSystem {
 public:
  std::unique_ptr<File> OpenForReading(const std::string& path) override {
    if (path.rfind("C:", 0) == 0 || path.rfind("c:", 0) == 0) return nullptr;
    return PosixFileSystem::OpenForReading(path);
  }
};

TEST_F(CopyEngine, KeepExistingDestinationThatCannotBeReadIsKept) {
  UnreadableDisk files;
  files.MapDrive('C', disk_.path());
  files.MapDrive('D', cd_.path());
  files.SetCurrentDrive('C');
  WriteCopyList('e', kExampleEntries);
  disk_.WriteFile("orvik8/factory.mar", "the user's settings");
  EXPECT_RESULT(InstallResult::kOk, Install(files, 0, 'D', 'e', "C:\\orvik8"));
  EXPECT_EQ("the user's settings", disk_.ReadFile("orvik8/factory.mar"));
}

// Every source opens, whatever its name, so that the destination rule is
// what decides.
class AnySourceOpens : public PosixFileSystem {
 public:
  std::unique_ptr<File> OpenForReading(const std::string& path) override {
    if (path.rfind("D:", 0) == 0 && path.find("install") == std::string::npos)
      return PosixFileSystem::OpenForReading("D:\\data\\a.dat");
    return PosixFileSystem::OpenForReading(path);
  }
};

TEST_F(CopyEngine, DestinationOutsideTheFolderOrNotAFileIsRefused) {
  AnySourceOpens files;
  files.MapDrive('C', disk_.path());
  files.MapDrive('D', cd_.path());
  files.SetCurrentDrive('C');
  disk_.MakeFolder("orvik8");
  // Last in the list, after files that could be copied: nothing is.
  for (const char* name :
       {"\\prog\\..", "\\prog\\.", "\\", "\\prog\\", "\\x/../../evil.dat",
        "\\prog\\a:b", "\\dev\\nul", "\\dev\\com1.txt", "\\prog\\:", "..\\",
        "\\prog\\startup.mar.", "\\prog\\what?", "\\prog\\a|b"}) {
    SCOPED_TRACE(name);
    auto entries = kExampleEntries;
    entries.push_back(name);
    WriteCopyList('e', entries);
    EXPECT_RESULT(InstallResult::kDestFileFailed, Install(files, 0, 'D', 'e', "C:\\orvik8"));
    EXPECT_EQ(Lines(9, 3), message_);
    EXPECT_EQ(0u, FilesIn(disk_.path()));
  }
  // A check-only entry never makes a destination, so its name is not judged.
  auto entries = kExampleEntries;
  entries[2] = "\\prog\\..";
  entries[6] = "$\\dev\\nul";
  WriteCopyList('e', entries);
  EXPECT_RESULT(InstallResult::kOk, Install(files, 0, 'D', 'e', "C:\\orvik8"));
}

TEST_F(CopyEngine, NameWithoutInnerBackslashIsCopiedUnderItsWholeName) {
  cd_.WriteFile("flat.dat", "flat");
  for (const char* name : {"\\flat.dat", "flat.dat"}) {
    WriteListCopying(name);
    std::filesystem::remove_all(disk_.path() + "/orvik8");
    EXPECT_RESULT(InstallResult::kOk, Install('D', 'e', "C:\\orvik8")) << name;
    EXPECT_EQ("flat", disk_.ReadFile("orvik8/flat.dat")) << name;
  }
}

TEST_F(CopyEngine, DamagedCopyListStopsBeforeAnythingIsCopied) {
  const std::string valid = CopyListText(kExampleEntries);
  const std::string damaged[] = {
      "eight 0\r\n" + valid.substr(valid.find('\n') + 1),
      "9" + valid.substr(1),
      valid.substr(0, valid.rfind("$")),
      "8 0\r\n\\data\\a.dat\r\n \t\r\n" + valid.substr(valid.find("\\data\\c")),
  };
  for (const auto& list : damaged) {
    cd_.WriteFile("install/eopylist.dat", list);
    EXPECT_RESULT(InstallResult::kCopyListFailed, Install('D', 'e', "C:\\orvik8")) << list;
    EXPECT_EQ(Lines(6, 2), message_);
    EXPECT_EQ(0u, FilesIn(disk_.path()));
  }
}

TEST_F(CopyEngine, CopyListReadErrorGivesTheCopyListFailure) {
  WriteCopyList('e', kExampleEntries);
  FaultyFileSystem faulty(files_);
  faulty.FailCall(Operation::kRead, 1);
  EXPECT_RESULT(InstallResult::kCopyListFailed, Install(faulty, 0, 'D', 'e', "C:\\orvik8"));
  EXPECT_EQ(Lines(6, 2), message_);
}

TEST_F(CopyEngine, LongLinesAndPathsHaveNoLimitOfOurOwn) {
  const std::string folder = "deep/" + std::string(120, 'd') + "/" + std::string(90, 'e');
  const std::string file = std::string(110, 'f') + ".dat";
  cd_.WriteFile(folder + "/" + file, "deep");
  std::string name = "\\" + folder + "\\" + file;
  std::replace(name.begin(), name.end(), '/', '\\');
  WriteListCopying(name + "   " + std::string(100, '#'));
  const std::string dest = "C:\\" + std::string(100, 'o');
  EXPECT_RESULT(InstallResult::kOk, Install('D', 'e', dest));
  EXPECT_EQ("deep", disk_.ReadFile(std::string(100, 'o') + "/" + file));
}

TEST_F(CopyEngine, NotEvenOneByteOfMemory) {
  WriteCopyList('e', kExampleEntries);
  FaultyFileSystem faulty(files_);
  faulty.LimitAllocation(0);
  EXPECT_RESULT(InstallResult::kOutOfMemory, Install(faulty, 0, 'D', 'e', "C:\\orvik8"));
  EXPECT_EQ("INSTALL FAILURE: Not enough memory to copy the files.\n"
            "Contact Ostmarrow at +49 30 5557 2418,\n"
            "or at support@ostmarrow.example,  including this message.\n",
            message_);
  EXPECT_EQ(16u, faulty.CallCount(Operation::kAllocate)) << "32768 down to 1";
  EXPECT_FALSE(disk_.Exists("orvik8"));

  WriteListCopying("\\prog\\startup.mar");
  FaultyFileSystem one_byte(files_);
  one_byte.LimitAllocation(1);
  EXPECT_RESULT(InstallResult::kOk, Install(one_byte, 0, 'D', 'e', "C:\\orvik8"));
  EXPECT_EQ(kStartup + "18 cd drive D\n", disk_.ReadFile("orvik8/startup.mar"));
}

// The sample CD in the repository, in every language.
class SampleCd : public ::testing::Test {
 protected:
  void SetUp() override { testing::ResetGlobalState(); }
  void TearDown() override { testing::ResetGlobalState(); }
};

std::string HostFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST_F(SampleCd, InstallsInEveryLanguage) {
  const std::string cd = ORVIK_SAMPLE_CD;
  ASSERT_TRUE(std::filesystem::exists(cd + "/install/eopylist.dat"))
      << "no sample CD at " << cd;
  for (char language : {'e', 'd', 'f', 'i'}) {
    SCOPED_TRACE(language);
    TempFolder disk;
    PosixFileSystem files;
    files.MapDrive('C', disk.path());
    files.MapDrive('D', cd);
    files.SetCurrentDrive('D');
    std::string message;
    EXPECT_RESULT(InstallResult::kOk, CopyInstallFiles(files, 0, 'D', language,
                                              "C:\\orvik8", message));
    EXPECT_FALSE(message.empty());
    const std::string startup = disk.ReadFile("orvik8/startup.mar");
    const std::string factory = disk.ReadFile("orvik8/factory.mar");
    const std::string line = std::string("51 language ") + language + "\r\n";
    EXPECT_NE(std::string::npos, startup.find(line));
    EXPECT_NE(std::string::npos, factory.find(line));
    EXPECT_EQ(ExpectedPatch(HostFile(cd + "/prog/startup.mar"), language) +
                  "18 cd drive D\n",
              startup);
    EXPECT_EQ(ExpectedPatch(HostFile(cd + "/prog/factory.mar"), language), factory);
    EXPECT_EQ(HostFile(cd + "/data/orvik.dat"), disk.ReadFile("orvik8/orvik.dat"));
    EXPECT_EQ(HostFile(cd + "/data/fonts.dat"), disk.ReadFile("orvik8/fonts.dat"));
  }
}

}  // namespace
}  // namespace orvik
