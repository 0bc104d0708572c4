// orvik-cdcheck over CDs built in temporary folders: a well-formed CD that
// must pass, and one fault per test that must produce its diagnostic.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <numeric>
#include <set>

#include "engine/copy_engine.h"
#include "engine/install_message.h"
#include "engine/settings_file.h"
#include "tools/cdcheck/cd_access.h"
#include "tools/cdcheck/cd_check.h"
#include "tools/cdcheck/cd_root_file_system.h"
#include "tools/cdcheck/cli.h"
#include "tools/cdcheck/cp1252.h"
#include "tools/cdcheck/json_writer.h"
#include "tools/cdcheck/posix_cd.h"
#include "tools/cdcheck/report.h"
#include "tools/cdcheck/text_converter.h"
#if ORVIK_CDCHECK_ISO_IMAGES
#include "tools/cdcheck/iso_image_file_system.h"
#endif
#include "tests/unit/test_support.h"

namespace orvik::cdcheck {
namespace {

using orvik::testing::TempFolder;

std::string Lines(const std::vector<std::string>& lines) {
  std::string text;
  for (const auto& line : lines) text += line + "\r\n";
  return text;
}

std::vector<std::string> MessageLines() {
  std::vector<std::string> lines;
  for (int i = 0; i < 14; ++i) lines.push_back("Message line " + std::to_string(i) + ".");
  return lines;
}

std::vector<std::string> CopyListLines(char language) {
  const std::string l(1, language);
  return {"9 0",
          "\\setup.txt",
          "\\data\\volume.id",
          "\\install\\" + l + "install.dat",
          "\\install\\" + l + "opylist.dat",
          "\\prog\\orvik8.exe",
          "\\prog\\startup.mar",
          "\\data\\check.dat",
          "$\\prog\\factory.mar",
          "\\lang\\" + l + ".txt"};
}

CheckResult CheckFolder(const std::string& folder) {
  PosixFileSystem files;
  files.MapDrive(kCdDrive, folder);
  return CheckCd(files, kCdDrive);
}

std::string Describe(const CheckResult& result) {
  std::string text;
  for (const auto& diagnostic : result.diagnostics.all())
    text += "  " + FormatDiagnostic(diagnostic) + "\n";
  return text;
}

std::size_t Problems(const CheckResult& result) {
  return result.diagnostics.Count(Severity::kError) +
         result.diagnostics.Count(Severity::kWarning);
}

// The first finding of `severity` at `file` (and `line` unless 0) whose
// message holds `text`, or null.
const Diagnostic* Find(const CheckResult& result, Severity severity,
                       const std::string& file, std::size_t line,
                       const std::string& text) {
  for (const auto& d : result.diagnostics.all())
    if (d.severity() == severity && d.where.file == file &&
        (line == 0 || d.where.line == line) &&
        d.message.find(text) != std::string::npos)
      return &d;
  return nullptr;
}

::testing::AssertionResult Finds(const CheckResult& result, Severity severity,
                                 const std::string& file, std::size_t line,
                                 const std::string& text) {
  if (Find(result, severity, file, line, text) != nullptr)
    return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure()
         << "no " << SeverityName(severity) << " at " << file << ":" << line
         << " with \"" << text << "\" among:\n"
         << Describe(result);
}

const LanguageResult& Language(const CheckResult& result, char letter) {
  for (const auto& language : result.languages)
    if (language.letter == letter) return language;
  throw std::logic_error("no such language");
}

std::vector<std::string> InstalledNames(const InstallPlan& plan) {
  std::vector<std::string> names;
  for (const auto& file : plan.files) names.push_back(file.name);
  return names;
}

// A small, well-formed version 8 CD in four languages.
class CdCheck : public ::testing::Test {
 protected:
  void SetUp() override {
    orvik::testing::ResetGlobalState();
    for (const auto& language : kLanguages) {
      const std::string l(1, language.letter);
      WriteMessageFile(language.letter, MessageLines());
      WriteCopyList(language.letter, CopyListLines(language.letter));
      cd_.WriteFile("lang/" + l + ".txt", "help " + l + "\r\n");
    }
    cd_.WriteFile("setup.txt", "Orvik 8\r\n");
    cd_.WriteFile("data/volume.id", "ORVIK8\r\n");
    cd_.WriteFile("data/check.dat", "check\r\n");
    cd_.WriteFile("prog/orvik8.exe", std::string(1000, 'x'));
    cd_.WriteFile("prog/startup.mar", "01 version 8.0\r\n51 language e\r\n");
    cd_.WriteFile("prog/factory.mar", "51 language e\r\n60 recent files 8\r\n");
  }
  void TearDown() override { orvik::testing::ResetGlobalState(); }

  void WriteMessageFile(char language, const std::vector<std::string>& lines) {
    cd_.WriteFile("install/" + std::string(1, language) + "install.dat", Lines(lines));
  }
  void WriteCopyList(char language, const std::vector<std::string>& lines) {
    cd_.WriteFile("install/" + std::string(1, language) + "opylist.dat", Lines(lines));
  }
  void Remove(const std::string& relative) {
    std::remove((cd_.path() + "/" + relative).c_str());
  }
  CheckResult Check() const { return CheckFolder(cd_.path()); }

  TempFolder cd_;
};

TEST(CdCheckSample, SampleCdPassesAndInstallsSevenFilesPerLanguage) {
  const CheckResult result = CheckFolder(ORVIK_SAMPLE_CD);
  EXPECT_EQ(0u, Problems(result)) << Describe(result);
  EXPECT_EQ(8, result.product_version);
  const InstallPlan& english = Language(result, 'e').plan;
  EXPECT_FALSE(english.stop.has_value());
  EXPECT_EQ((std::vector<std::string>{"orvik8.exe", "startup.mar", "factory.mar",
                                      "orvik.dll", "orvik.dat", "fonts.dat", "help.txt"}),
            InstalledNames(english));
  EXPECT_EQ(55u + 137 + 155 + 52 + 1028 + 40000 + 167, english.TotalBytes());
  EXPECT_EQ("install/dopylist.dat", Language(result, 'd').copy_list);
}

TEST_F(CdCheck, WellFormedCdHasNoProblems) {
  const CheckResult result = Check();
  EXPECT_EQ(0u, Problems(result)) << Describe(result);
  EXPECT_EQ((std::vector<std::string>{"orvik8.exe", "startup.mar", "factory.mar", "d.txt"}),
            InstalledNames(Language(result, 'd').plan));
}

// Message files: which exist, and the product version they make.

TEST_F(CdCheck, OnlyTheLegacyMessageFileMeansVersion7AndItsProgram) {
  cd_.WriteFile("prog/orvik7.exe", "version 7");
  for (const auto& language : kLanguages) {
    Remove("install/" + std::string(1, language.letter) + "install.dat");
    auto lines = CopyListLines(language.letter);
    lines[3] = "\\install\\install.dat";
    lines[5] = language.letter == 'i' ? "\\prog\\orvik8.exe" : "\\PROG\\ORVIK7.EXE";
    WriteCopyList(language.letter, lines);
  }
  cd_.WriteFile("install/install.dat", Lines(MessageLines()));
  const CheckResult result = Check();
  EXPECT_EQ(7, result.product_version);
  EXPECT_TRUE(Finds(result, Severity::kError, "install/iopylist.dat", 0,
                    "installs no orvik7.exe"));
  EXPECT_EQ(1u, result.diagnostics.Count(Severity::kError)) << Describe(result);
  EXPECT_EQ("install/install.dat", Language(result, 'f').message_file);
  EXPECT_EQ(8, g_nProductVersion) << "the check must not change the process's version";
  EXPECT_STREQ("eopylist.dat", g_szCopyListName) << "nor the copy list's name";
}

TEST_F(CdCheck, LegacyFileBesideLanguageFilesIsNeverRead) {
  cd_.WriteFile("install/install.dat", Lines(MessageLines()));
  const CheckResult result = Check();
  EXPECT_EQ(8, result.product_version);
  EXPECT_TRUE(Finds(result, Severity::kWarning, "install/install.dat", 0, "win over it"));
}

TEST_F(CdCheck, LanguageWithoutItsFileFallsToTheLegacyFileAndVersion7) {
  Remove("install/iinstall.dat");
  cd_.WriteFile("install/install.dat", Lines(MessageLines()));
  const CheckResult result = Check();
  EXPECT_TRUE(Finds(result, Severity::kError, "install/iinstall.dat", 0, "version 7"));
  EXPECT_EQ("install/install.dat", Language(result, 'i').message_file);
}

TEST_F(CdCheck, MessageFileMissingForALanguageIsAnError) {
  Remove("install/finstall.dat");
  EXPECT_TRUE(Finds(Check(), Severity::kError, "install/finstall.dat", 0, "no introduction"));
}

TEST_F(CdCheck, MessageFileInTheCdRootShadowsTheInstallFolder) {
  cd_.WriteFile("dinstall.dat", Lines(MessageLines()));
  EXPECT_TRUE(Finds(Check(), Severity::kWarning, "dinstall.dat", 0, "instead of install/dinstall.dat"));
}

// Message files: lines as Setup's reader takes them.

TEST_F(CdCheck, MissingMessageLinesAreNamed) {
  auto lines = MessageLines();
  lines.resize(12);
  WriteMessageFile('e', lines);
  EXPECT_TRUE(Finds(Check(), Severity::kError, "install/einstall.dat", 12,
                    "lines 12 and 13 are missing, so Setup shows the success text"));
}

TEST_F(CdCheck, OverlongLineIsReadAsTwoAndShiftsTheLinesAfterIt) {
  auto lines = MessageLines();
  lines[5] = std::string(248, 'a');  // 250 bytes with CR LF
  WriteMessageFile('d', lines);
  const CheckResult result = Check();
  EXPECT_TRUE(Finds(result, Severity::kError, "install/dinstall.dat", 6,
                    "message line 5 is 250 bytes long"));
  const Diagnostic* shift = Find(result, Severity::kError, "install/dinstall.dat", 6,
                                 "lines 6 to 13 of the file are read as lines 7 to 14");
  ASSERT_NE(nullptr, shift) << Describe(result);
  EXPECT_EQ(200u, shift->where.column) << "the first byte read as a line of its own";
}

TEST_F(CdCheck, LineOf199BytesIsStillOneLineAndLongLinesPastLine13DoNotCount) {
  auto lines = MessageLines();
  lines[4] = std::string(197, 'a');  // 199 bytes with CR LF
  lines.push_back(std::string(300, 'b'));
  WriteMessageFile('d', lines);
  const CheckResult result = Check();
  EXPECT_EQ(0u, result.diagnostics.Count(Severity::kError)) << Describe(result);
}

TEST_F(CdCheck, TextsOverTheBudgetsOfEarlierReleasesAreWarned) {
  auto lines = MessageLines();
  lines[0] = lines[1] = std::string(131, 'i');
  lines[2] = std::string(135, 'i');  // 133 + 133 + 137 = 403 bytes
  lines[9] = lines[10] = std::string(150, 'o');  // 152 + 152 + 18
  WriteMessageFile('f', lines);
  const CheckResult result = Check();
  EXPECT_TRUE(Finds(result, Severity::kWarning, "install/finstall.dat", 1,
                    "the introduction (lines 0 to 2) is 403 bytes"));
  EXPECT_TRUE(Finds(result, Severity::kWarning, "install/finstall.dat", 10,
                    "(lines 9 to 11) is 322 bytes"));
}

TEST_F(CdCheck, IntroductionOfExactly399BytesFits) {
  auto lines = MessageLines();
  lines[0] = lines[1] = lines[2] = std::string(131, 'i');  // 3 x 133
  WriteMessageFile('e', lines);
  EXPECT_EQ(0u, Problems(Check())) << Describe(Check());
}

TEST_F(CdCheck, SecondMarkerOfTheLastLineReadStaysVisibleButSetupWorks) {
  auto lines = MessageLines();
  lines[13] = "Done.\\n Really\\n done.";
  WriteMessageFile('e', lines);
  const CheckResult result = Check();
  EXPECT_TRUE(Finds(result, Severity::kWarning, "install/einstall.dat", 14,
                    "success text (line 13) keeps a visible backslash-n"));
  EXPECT_EQ(0u, result.diagnostics.Count(Severity::kError)) << Describe(result);
}

TEST_F(CdCheck, TwoMarkersInTheFirstIntroductionLineAreBothRemoved) {
  auto lines = MessageLines();
  lines[0] = "Welcome\\n to\\n Orvik.";
  WriteMessageFile('e', lines);
  const CheckResult result = Check();
  EXPECT_EQ(0u, Problems(result)) << Describe(result);
}

TEST_F(CdCheck, BytesThatAreNoWindows1252TextAreFoundInShownLinesOnly) {
  auto lines = MessageLines();
  lines[10] = std::string("ab\x81") + "c\x07" + std::string(1, '\0') + "d";
  lines[3] = std::string("never read \x81\x07") + std::string(1, '\0');
  WriteMessageFile('d', lines);
  const CheckResult result = Check();
  const Diagnostic* undefined =
      Find(result, Severity::kWarning, "install/dinstall.dat", 11, "byte 0x81");
  ASSERT_NE(nullptr, undefined) << Describe(result);
  EXPECT_EQ(3u, undefined->where.column);
  EXPECT_TRUE(Finds(result, Severity::kWarning, "install/dinstall.dat", 11,
                    "control character 0x07"));
  EXPECT_TRUE(Finds(result, Severity::kError, "install/dinstall.dat", 11, "a NUL byte"));
  EXPECT_EQ(3u, Problems(result)) << Describe(result);
}

// One fault each on the well-formed CD: the file written, the rule it must
// raise and where; nothing else may be found. Rule::kCount: no finding.
struct CdMutation {
  const char* name;
  const char* file;
  std::string content;
  Rule rule;
  std::size_t line;
  std::size_t column;
};

std::string MessageFileWith(std::size_t line, const std::string& text) {
  auto lines = MessageLines();
  lines[line] = text;
  return Lines(lines);
}

const CdMutation kCdMutations[] = {
    {"TextSavedAsUtf8", "install/dinstall.dat",
     MessageFileWith(1, "W\xC3\xA4hlen Sie die Sprache."), Rule::kMessageFileUtf8, 2, 0},
    {"LineEndGivenCrLfTwice", "install/einstall.dat", MessageFileWith(13, "Done.\r"),
     Rule::kMessageFileStrayCr, 14, 6},
    {"CrInsideALine", "install/einstall.dat", MessageFileWith(1, "Choose\rthe language"),
     Rule::kMessageFileStrayCr, 2, 7},
    {"CrInALineNeverShown", "install/einstall.dat", MessageFileWith(3, "-\r"), Rule::kCount,
     0, 0},
    // W is 11 pixels wide, i 2: 32 W and 3 i fill the 358 pixels exactly.
    {"IntroductionLineFillsTheMessageArea", "install/finstall.dat",
     MessageFileWith(2, std::string(32, 'W') + "iii"), Rule::kCount, 0, 0},
    {"IntroductionLineWiderThanTheMessageArea", "install/finstall.dat",
     MessageFileWith(2, std::string(32, 'W') + "iiii"), Rule::kMessageFileWiderThanMessageArea,
     3, 36},
    // A TAB moves to the next multiple of 40 pixels: i and 8 TABs take 320.
    {"TabsMoveToTheirStops", "install/finstall.dat",
     MessageFileWith(0, "i" + std::string(8, '\t') + "WWWii"), Rule::kCount, 0, 0},
    {"AmpersandMarksAnUnderline", "install/iinstall.dat",
     MessageFileWith(0, "Orvik && Co & more"), Rule::kMessageFileAmpersandPrefix, 1, 13},
};

class CdMutationTest : public CdCheck, public ::testing::WithParamInterface<CdMutation> {};

TEST_P(CdMutationTest, RaisesItsRuleAtItsPlaceAndNothingElse) {
  const CdMutation& mutation = GetParam();
  cd_.WriteFile(mutation.file, mutation.content);
  const CheckResult result = Check();
  if (mutation.rule == Rule::kCount) {
    EXPECT_EQ(0u, Problems(result)) << Describe(result);
    return;
  }
  const auto& all = result.diagnostics.all();
  const auto found = std::find_if(all.begin(), all.end(), [&](const Diagnostic& d) {
    return d.rule == mutation.rule && d.where.file == mutation.file &&
           d.where.line == mutation.line && d.where.column == mutation.column;
  });
  EXPECT_NE(all.end(), found) << "no " << InfoOf(mutation.rule).id << " at "
                              << mutation.file << ":" << mutation.line << ":"
                              << mutation.column << " among:\n"
                              << Describe(result);
  EXPECT_EQ(1u, Problems(result)) << Describe(result);
}

INSTANTIATE_TEST_SUITE_P(MessageFiles, CdMutationTest, ::testing::ValuesIn(kCdMutations),
                         [](const auto& info) { return std::string(info.param.name); });

// Copy lists: which one each language uses, and their form.

TEST_F(CdCheck, FallbackCopyListsAreWarnedAndMissingOnesAreErrors) {
  Remove("install/dopylist.dat");
  Remove("install/iopylist.dat");
  Remove("install/eopylist.dat");
  auto lines = CopyListLines('e');
  lines[4] = "\\install\\copylist.dat";
  cd_.WriteFile("install/copylist.dat", Lines(lines));
  CheckResult result = Check();
  EXPECT_TRUE(Finds(result, Severity::kWarning, "install/dopylist.dat", 0,
                    "Setup installs Deutsch by install/copylist.dat"));
  EXPECT_EQ("install/copylist.dat", Language(result, 'e').copy_list);
  EXPECT_EQ(0u, result.diagnostics.Count(Severity::kError)) << Describe(result);

  Remove("install/copylist.dat");
  result = Check();
  EXPECT_TRUE(Finds(result, Severity::kError, "install/iopylist.dat", 0,
                    "no copy list for Italiano"));
  EXPECT_TRUE(Language(result, 'i').plan.stop.has_value());
}

TEST_F(CdCheck, HeaderThatIsNoNumberRejectsTheList) {
  auto lines = CopyListLines('e');
  lines[0] = "nine 0";
  WriteCopyList('e', lines);
  const CheckResult result = Check();
  EXPECT_TRUE(Finds(result, Severity::kError, "install/eopylist.dat", 1, "number of entries"));
  EXPECT_TRUE(Language(result, 'e').plan.files.empty());
}

TEST_F(CdCheck, FewerEntryLinesThanAnnouncedRejectTheList) {
  auto lines = CopyListLines('e');
  lines[0] = "11 0";
  WriteCopyList('e', lines);
  EXPECT_TRUE(Finds(Check(), Severity::kError, "install/eopylist.dat", 10,
                    "announces 11 entries, but only 9 follow"));
}

TEST_F(CdCheck, LinesAfterTheAnnouncedEntriesAreNeverRead) {
  auto lines = CopyListLines('e');
  lines.push_back("\\lang\\extra.txt");
  lines.push_back("\\lang\\more.txt");
  lines.push_back("");
  WriteCopyList('e', lines);
  EXPECT_TRUE(Finds(Check(), Severity::kWarning, "install/eopylist.dat", 11,
                    "this line and the 2 after it are never read"));
  lines.resize(11);
  lines[0] = "1 0";
  WriteCopyList('e', lines);
  EXPECT_TRUE(Finds(Check(), Severity::kWarning, "install/eopylist.dat", 3,
                    "this line and the 8 after it are never read: the header "
                    "announces 1 entry"));

  lines.resize(10);
  lines[0] = "9 0";
  lines.push_back("  ");
  WriteCopyList('e', lines);
  EXPECT_EQ(0u, Problems(Check())) << "trailing blank lines are harmless";
}

TEST_F(CdCheck, CopyListLineLongerThan99BytesIsWarned) {
  auto lines = CopyListLines('e');
  lines[9] = "\\lang\\e.txt " + std::string(90, ' ') + "comment";
  // A line far over what is kept of it is reported with its true length,
  // and the entry after it is still read as the next line.
  lines[2] = "\\data\\volume.id " + std::string(100000, ' ');
  WriteCopyList('e', lines);
  const CheckResult result = Check();
  EXPECT_TRUE(Finds(result, Severity::kWarning, "install/eopylist.dat", 10, "111 bytes"));
  EXPECT_TRUE(Finds(result, Severity::kWarning, "install/eopylist.dat", 3, "100018 bytes"));
  EXPECT_EQ(2u, Problems(result)) << Describe(result);
}

// Copy lists: entries.

TEST_F(CdCheck, MissingFileAtACheckOnlyPositionStopsTheInstallation) {
  Remove("data/check.dat");
  const CheckResult result = Check();
  EXPECT_TRUE(Finds(result, Severity::kError, "install/eopylist.dat", 8,
                    "position 6 is only checked, not copied"));
  const InstallPlan& plan = Language(result, 'e').plan;
  EXPECT_EQ((std::vector<std::string>{"orvik8.exe", "startup.mar"}), InstalledNames(plan));
  EXPECT_NE(std::string::npos, plan.stop->find("install/eopylist.dat:8"));
}

TEST_F(CdCheck, MissingFileAtACopiedPositionStopsTheInstallation) {
  Remove("lang/f.txt");
  const CheckResult result = Check();
  EXPECT_TRUE(Finds(result, Severity::kError, "install/fopylist.dat", 10,
                    "\\lang\\f.txt is not on the CD"));
  EXPECT_EQ(3u, Language(result, 'f').plan.files.size());
}

TEST_F(CdCheck, NameOnTheCopyListDriveCannotBeOpened) {
  auto lines = CopyListLines('e');
  lines[9] = ":\\lang\\e.txt";
  WriteCopyList('e', lines);
  EXPECT_TRUE(Finds(Check(), Severity::kError, "install/eopylist.dat", 10,
                    "Setup never names"));
}

TEST_F(CdCheck, EntryWithoutAPlainDestinationNameStopsTheInstallation) {
  cd_.WriteFile("prog/nul", "device name");
  auto lines = CopyListLines('e');
  lines[9] = "\\prog\\nul";
  WriteCopyList('e', lines);
  const CheckResult result = Check();
  EXPECT_TRUE(Finds(result, Severity::kError, "install/eopylist.dat", 10,
                    "no file name in the destination folder"));
  EXPECT_TRUE(Language(result, 'e').plan.files.empty())
      << "Setup checks every destination name before it copies a file";
}

TEST_F(CdCheck, SameFileNameIgnoringCaseOverwritesAndCountsOnce) {
  cd_.WriteFile("lang/other/E.TXT", "a longer help text\r\n");
  auto lines = CopyListLines('e');
  lines[0] = "10 0";
  lines.push_back("\\lang\\other\\E.TXT");
  WriteCopyList('e', lines);
  const CheckResult result = Check();
  EXPECT_TRUE(Finds(result, Severity::kWarning, "install/eopylist.dat", 11,
                    "line 10 already puts e.txt into the destination folder (E.TXT "
                    "is the same name"));
  const InstallPlan& plan = Language(result, 'e').plan;
  EXPECT_EQ(11u, plan.files[3].replaced_by_line);
  EXPECT_EQ(4u, plan.FileCount());
  EXPECT_EQ(1000u + 31 + 34 + 20, plan.TotalBytes());
}

TEST_F(CdCheck, KeepExistingEntriesAreNotedAndOneAfterACopyIsNeverCopied) {
  auto lines = CopyListLines('e');
  lines[0] = "10 0";
  lines.push_back("$\\lang\\e.txt");
  WriteCopyList('e', lines);
  const CheckResult result = Check();
  EXPECT_TRUE(Finds(result, Severity::kNote, "install/eopylist.dat", 9, "'$'"));
  EXPECT_TRUE(Finds(result, Severity::kWarning, "install/eopylist.dat", 11, "never copied"));
  EXPECT_EQ(4u, Language(result, 'e').plan.files.size());
}

TEST_F(CdCheck, CopiedDataFileIsDeletedAgain) {
  cd_.WriteFile("data/ASTDATA.AST", "stale");
  auto lines = CopyListLines('e');
  lines[9] = "\\data\\ASTDATA.AST";
  WriteCopyList('e', lines);
  EXPECT_TRUE(Finds(Check(), Severity::kWarning, "install/eopylist.dat", 10, "deleted again"));
}

TEST_F(CdCheck, ListThatDoesNotCopyTheShortcutTargetIsAnError) {
  auto lines = CopyListLines('d');
  std::swap(lines[2], lines[5]);  // orvik8.exe moved to position 1: checked only
  WriteCopyList('d', lines);
  lines = CopyListLines('f');
  lines[5] = "$\\prog\\Orvik8.EXE";  // kept when present, copied when missing
  WriteCopyList('f', lines);
  const CheckResult result = Check();
  EXPECT_TRUE(Finds(result, Severity::kError, "install/dopylist.dat", 0,
                    "installs no orvik8.exe, the program the desktop shortcut points "
                    "to: for Deutsch the shortcut that Setup creates leads nowhere "
                    "(line 3 names it at position 1"));
  EXPECT_EQ(1u, result.diagnostics.Count(Severity::kError)) << Describe(result);
}

// Settings files, by the copy engine's own patch rule.

TEST_F(CdCheck, SettingsFileWithoutTheLanguageLinePointsToACaseSlip) {
  cd_.WriteFile("prog/startup.mar", "01 version 8.0\r\n51 Language e\r\n");
  EXPECT_TRUE(Finds(Check(), Severity::kError, "prog/startup.mar", 0,
                    "'51 Language ' in line 2 differs in case"));
}

TEST_F(CdCheck, LanguageLineThatEndsTheFileIsNotPatched) {
  cd_.WriteFile("prog/factory.mar", "01 version 8.0\r\n51 language ");
  EXPECT_TRUE(Finds(Check(), Severity::kError, "prog/factory.mar", 2, "ends the file"));
}

TEST_F(CdCheck, LanguageLineWithoutALetterOrTwiceIsWarned) {
  // The file is read in blocks of 64 KiB: here the first line text spans
  // two of them and the second lies in a third.
  const std::string padding(65536 - 5, 'x');
  cd_.WriteFile("prog/startup.mar", "\n" + padding + "51 language " +
                                        std::string(65536 - 7, '#') + "\n51 language e\r\n");
  const CheckResult result = Check();
  const Diagnostic* letter =
      Find(result, Severity::kWarning, "prog/startup.mar", 2, "is 0x23");
  ASSERT_NE(nullptr, letter) << Describe(result);
  EXPECT_EQ(padding.size() + 13, letter->where.column);
  EXPECT_TRUE(Finds(result, Severity::kWarning, "prog/startup.mar", 3, "a second"));
}

TEST_F(CdCheck, SettingsFileIsKnownInAnyCaseAndOnlyWhenCopied) {
  cd_.WriteFile("prog/cfg/Startup.MAR", "no language here\r\n");
  cd_.WriteFile("data/factory.mar", "no language here\r\n");
  auto lines = CopyListLines('e');
  lines[6] = "\\prog\\cfg\\Startup.MAR";
  lines[3] = "\\data\\factory.mar";  // position 2: only checked
  WriteCopyList('e', lines);
  const CheckResult result = Check();
  EXPECT_TRUE(Finds(result, Severity::kError, "prog/cfg/Startup.MAR", 0, "no '51 language '"));
  EXPECT_EQ(1u, result.diagnostics.Count(Severity::kError)) << Describe(result);
}

TEST(SettingsFile, PatcherTellsWhereTheLetterWentAcrossChunks) {
  std::string bytes = "01 x\r\n51 lang";
  std::string rest = "uage e\r\n51 language e\r\n";
  LanguageLinePatcher patcher('d');
  patcher.Patch(bytes.data(), bytes.size());
  EXPECT_FALSE(patcher.patched_at().has_value());
  patcher.Patch(rest.data(), rest.size());
  ASSERT_TRUE(patcher.patched_at().has_value());
  EXPECT_EQ(18u, *patcher.patched_at());
  EXPECT_EQ("uage d\r\n51 language e\r\n", rest);
}

// Reports.

TEST(CdCheckReport, DiagnosticsReadLikeCompilerOutputUnderThePathGiven) {
  const Diagnostic long_line{{"install/dinstall.dat", 12, 200}, Rule::kMessageFileLongLine,
                             "too long", {}};
  EXPECT_EQ("install/dinstall.dat:12:200: error: too long [message-file/long-line]",
            FormatDiagnostic(long_line));
  EXPECT_EQ("../cds/orvik/install/dinstall.dat:12:200: error: too long "
            "[message-file/long-line]",
            FormatDiagnostic(long_line, "../cds/orvik"));
  EXPECT_EQ("E:\\install\\: note: version 8 [message-file/product-version]",
            FormatDiagnostic({{"install/"}, Rule::kMessageFileVersion, "version 8", {}}, "E:"));
  EXPECT_EQ("C:\\cds\\orvik\\prog\\x.mar", PathAsGiven("C:\\cds\\orvik", "prog/x.mar"));
  EXPECT_EQ("cd/prog/x.mar", PathAsGiven("cd/", "prog/x.mar"));
}

TEST(CdCheckReport, RuleIdsAreUniqueAndNamedByArea) {
  std::set<std::string> ids;
  for (std::size_t i = 0; i < kRuleCount; ++i) {
    const std::string id = InfoOf(RuleAt(i)).id;
    EXPECT_TRUE(ids.insert(id).second) << id << " twice";
    const std::size_t slash = id.find('/');
    ASSERT_NE(std::string::npos, slash) << id;
    EXPECT_TRUE((std::set<std::string>{"message-file", "copy-list", "settings-file", "image"})
                    .count(id.substr(0, slash)))
        << id;
    EXPECT_EQ(std::string::npos, id.find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789-/"))
        << id;
  }
}

TEST(CdCheckReport, JsonStringsComeOutAsAsciiWithEscapes) {
  EXPECT_EQ("\"Fran\\u00e7ais \\\"q\\\" \\\\ \\u20ac \\u0081 \\u0001\\r\\n\"",
            JsonQuote("Fran\xE7" "ais \"q\" \\ \x80 \x81 \x01\r\n"));
}

TEST(CdCheckReport, JsonDocumentHoldsDiagnosticsAndLanguages) {
  CheckResult result;
  result.product_version = 8;
  result.diagnostics.Add(Rule::kMessageFileUtf8, {"install/finstall.dat"}, "cr\xE9\xE9");
  LanguageResult french;
  french.letter = 'f';
  french.name = "Fran\xE7" "ais";
  french.plan.files.push_back({"aide.txt", "\\lang\\fr\\aide.txt", 12, 195, false, 0});
  result.languages.push_back(french);
  const std::string json = FormatJson(result, {false, "/m\xC3\xA9" "dia/cd"});
  EXPECT_NE(std::string::npos, json.find("\"line\": null"));
  EXPECT_NE(std::string::npos, json.find("\"rule\": \"message-file/utf8-text\""));
  EXPECT_NE(std::string::npos,
            json.find("\"path\": \"/m\\u00e9dia/cd/install/finstall.dat\""));
  EXPECT_NE(std::string::npos, json.find("\"message\": \"cr\\u00e9\\u00e9\""));
  EXPECT_NE(std::string::npos, json.find("\"name\": \"Fran\\u00e7ais\""));
  EXPECT_NE(std::string::npos, json.find("\"total_bytes\": 195"));
  EXPECT_NE(std::string::npos, json.find("\"copy_list\": null"));
  for (char c : json) EXPECT_LT(static_cast<unsigned char>(c), 0x80);
}

TEST(CdCheckReport, TextIsUtf8AndQuietShowsOnlyProblems) {
  CheckResult result;
  result.diagnostics.Add(Rule::kMessageFileVersion, {"install/"}, "version 8");
  LanguageResult french;
  french.name = "Fran\xE7" "ais";
  result.languages.push_back(french);
  const std::string full = FormatText(result, {});
  EXPECT_NE(std::string::npos, full.find("Fran\xC3\xA7" "ais"));
  EXPECT_NE(std::string::npos, full.find("orvik-cdcheck: 0 errors, 0 warnings\n"));
  EXPECT_EQ("", FormatText(result, {true, ""}));

  result.diagnostics.Add(Rule::kCopyListSourceMissing, {"install/eopylist.dat", 3},
                         "bad\x01name");
  EXPECT_EQ("install/eopylist.dat:3: error: bad\\x01name [copy-list/source-missing]\n"
            "orvik-cdcheck: 1 error, 0 warnings\n",
            FormatText(result, {true, ""}));
}

// The command line.

class CdCheckTool : public CdCheck {
 protected:
  int Run(const std::vector<std::string>& args) {
    output_ = ToolOutput();
    return RunCdCheckTool(args, OpenCdOnPosix, output_);
  }
  bool OutHas(const std::string& text) const {
    return output_.out.find(text) != std::string::npos;
  }
  ToolOutput output_;
};

TEST_F(CdCheckTool, ExitStatusTellsCleanErrorsAndUsage) {
  EXPECT_EQ(kExitClean, Run({cd_.path()}));
  EXPECT_EQ(kExitClean, Run({"/?"}));
  EXPECT_TRUE(OutHas("usage: orvik-cdcheck"));
  EXPECT_EQ(kExitClean, Run({"--version"}));
  EXPECT_EQ(std::string("orvik-cdcheck ") + kCdCheckVersion + "\n", output_.out);
  EXPECT_EQ(kExitUsage, Run({}));
  EXPECT_EQ(kExitUsage, Run({"--verbose", cd_.path()}));
  EXPECT_EQ(kExitUsage, Run({"--format", "xml", cd_.path()}));
  EXPECT_EQ(kExitUsage, Run({cd_.path(), "--format"}));
  EXPECT_EQ(kExitUsage, Run({cd_.path(), cd_.path()}));
  EXPECT_EQ(kExitUsage, Run({cd_.path() + "/missing"}));
  EXPECT_NE(std::string::npos, output_.err.find("no such folder or ISO image"));
  EXPECT_EQ(kExitUsage, Run({cd_.path() + "/setup.txt"}));
  EXPECT_NE(std::string::npos, output_.err.find("neither a folder nor"));

  cd_.WriteFile("install/eopylist.dat", Lines(CopyListLines('e')) + "\\lang\\extra.txt\r\n");
  EXPECT_EQ(kExitClean, Run({"--quiet", cd_.path()}));
  EXPECT_EQ(kExitErrors, Run({"--quiet", "--werror", cd_.path()}));
  EXPECT_TRUE(OutHas(cd_.path() + "/install/eopylist.dat:11: warning:"));

  Remove("prog/orvik8.exe");
  EXPECT_EQ(kExitErrors, Run({"--quiet", cd_.path() + "/"}));
  EXPECT_TRUE(OutHas(cd_.path() + "/install/eopylist.dat:6: error:"));
  EXPECT_EQ(kExitErrors, Run({"--json", cd_.path()}));
  EXPECT_EQ('{', output_.out.front());
  EXPECT_EQ(kExitErrors, Run({"--format=sarif", cd_.path()}));
  EXPECT_TRUE(OutHas("\"version\": \"2.1.0\""));
}

// The Windows program's view of a folder as the CD.

TEST(CdRootFileSystem, PathsOnTheCdDriveLeadIntoTheFolderAndNoOthers) {
  const CdRootFileSystem cd(std::make_unique<PosixFileSystem>(), 'D', "E:\\");
  EXPECT_EQ("E:\\install\\x.dat", cd.HostPath("d:\\install\\x.dat").value_or("none"));
  EXPECT_FALSE(cd.HostPath("dinstall.dat").has_value());
  EXPECT_FALSE(cd.HostPath("\\install\\x.dat").has_value());
  EXPECT_FALSE(cd.HostPath("C:\\install\\x.dat").has_value());
  EXPECT_FALSE(cd.HostPath("D:install\\x.dat").has_value());
  EXPECT_FALSE(cd.HostPath("D:\\install\\x?.dat").has_value());
}

TEST(CdRootFileSystem, DotsResolveAgainstTheCdRootAndNeverLeaveIt) {
  const CdRootFileSystem cd(std::make_unique<PosixFileSystem>(), 'D', "C:\\cds\\orvik");
  EXPECT_EQ("C:\\cds\\orvik\\prog\\x.exe",
            cd.HostPath("D:\\install\\.\\..\\prog\\x.exe").value_or("none"));
  EXPECT_EQ("C:\\cds\\orvik\\windows\\win.ini",
            cd.HostPath("D:\\..\\..\\windows\\win.ini").value_or("none"));
  EXPECT_EQ("C:\\cds\\orvik\\x", cd.HostPath("D:/install//../../x").value_or("none"));
}

TEST(CdRootFileSystem, ReadsTheFolderThroughTheHostFileSystem) {
  TempFolder host;
  host.WriteFile("cds/orvik/install/einstall.dat", "hello\r\n");
  auto files = std::make_unique<PosixFileSystem>();
  files->MapDrive('Z', host.path());
  CdRootFileSystem cd(std::move(files), kCdDrive, "Z:\\cds\\orvik\\");
  EXPECT_NE(nullptr, cd.OpenForReading("D:\\install\\einstall.dat"));
  EXPECT_EQ(nullptr, cd.CreateExclusive("D:\\install\\new.dat"));
}

#if ORVIK_CDCHECK_ISO_IMAGES
// ISO images made from the sample CD, read as Setup reads a CD: with
// Joliet names, with ISO 9660 names alone, and with UDF names beside the
// ISO 9660 names but no Joliet names.
constexpr const char* kJolietImage = "xorriso -as mkisofs -J";
constexpr const char* kPlainImage = "xorriso -as mkisofs";
constexpr const char* kUdfImage = "genisoimage -udf";

bool HaveImageMaker(const std::string& maker) {
  const std::string program = maker.substr(0, maker.find(' '));
  return std::system(("command -v " + program + " >/dev/null 2>&1").c_str()) == 0;
}

std::string MakeImage(const TempFolder& folder, const std::string& maker,
                      const std::string& tree = ORVIK_SAMPLE_CD) {
  const std::string image = folder.path() + "/orvik8.iso";
  const std::string command =
      maker + " -quiet -o '" + image + "' '" + tree + "' >/dev/null 2>&1";
  return std::system(command.c_str()) == 0 ? image : "";
}

// The sample CD as pressed: with the programs and autorun.inf at its root.
std::string PressedSampleCd(const TempFolder& folder) {
  const std::string tree = folder.path() + "/pressed";
  std::filesystem::copy(ORVIK_SAMPLE_CD, tree, std::filesystem::copy_options::recursive);
  for (const char* name : {"setup.exe", "orvik-install.exe", "autorun.inf"})
    folder.WriteFile(std::string("pressed/") + name, "MZ");
  return tree;
}

class CdCheckIsoImage : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    if (!HaveImageMaker(GetParam())) GTEST_SKIP() << GetParam() << ": not installed";
    image_ = MakeImage(folder_, GetParam(), PressedSampleCd(folder_));
    ASSERT_FALSE(image_.empty()) << GetParam() << " failed";
  }
  std::unique_ptr<FileSystem> OpenImage() const {
    std::string error;
    auto files = OpenIsoImage(image_, kCdDrive, error);
    EXPECT_NE(nullptr, files) << error;
    return files;
  }

  TempFolder folder_;
  std::string image_;
};

TEST_P(CdCheckIsoImage, ImageOfTheSampleCdChecksAsTheFolderDoes) {
  ToolOutput output;
  // ISO 9660 names alone cannot spell orvik-install.exe ('-' is not among
  // their characters): Windows finds no such file on that CD.
  const bool long_names = std::string(GetParam()) != kPlainImage;
  EXPECT_EQ(long_names ? kExitClean : kExitErrors,
            RunCdCheckTool({"--werror", image_}, OpenCdOnPosix, output))
      << output.out << output.err;
  EXPECT_EQ(long_names, output.out.find("orvik-install.exe: error") == std::string::npos)
      << output.out;
  EXPECT_NE(std::string::npos, output.out.find(image_ + "/install/: note: version 8"));
  const auto files = OpenImage();
  const CheckResult image = CheckCd(*files, kCdDrive);
  const CheckResult folder = CheckFolder(ORVIK_SAMPLE_CD);
  for (const auto& language : kLanguages) {
    const InstallPlan& from_image = Language(image, language.letter).plan;
    EXPECT_EQ(InstalledNames(Language(folder, language.letter).plan),
              InstalledNames(from_image));
    EXPECT_EQ(Language(folder, language.letter).plan.TotalBytes(), from_image.TotalBytes());
  }
  // The author's folder, imaged as it is, lacks what starts the installation.
  const TempFolder bare_folder;
  const std::string bare = MakeImage(bare_folder, GetParam());
  EXPECT_EQ(kExitErrors, RunCdCheckTool({"--quiet", bare}, OpenCdOnPosix, output));
  for (const char* name : {"setup.exe:", "orvik-install.exe:", "autorun.inf:"})
    EXPECT_NE(std::string::npos,
              output.out.find(bare + "/" + name + " error: not in the image's root"))
        << output.out;
}

TEST_P(CdCheckIsoImage, NamesAreFoundIgnoringCaseWithinTheImageAndFilesReadWhole) {
  const auto files = OpenImage();
  const auto fonts = files->OpenForReading("d:\\Prog\\..\\..\\DATA\\.\\Fonts.DAT");
  ASSERT_NE(nullptr, fonts);
  const FileContent content = ReadContent(*fonts, true);
  EXPECT_FALSE(content.read_error);
  PosixFileSystem sample;
  sample.MapDrive(kCdDrive, ORVIK_SAMPLE_CD);
  EXPECT_EQ(ReadContent(*sample.OpenForReading("D:\\data\\fonts.dat"), true).bytes,
            content.bytes);
  EXPECT_EQ(nullptr, files->OpenForReading("D:\\data"));
  EXPECT_EQ(nullptr, files->OpenForReading("D:\\data\\fonts.dat\\x"));
  EXPECT_EQ(nullptr, files->OpenForReading("\\data\\fonts.dat"));
  EXPECT_EQ(nullptr, files->CreateExclusive("D:\\data\\new.dat"));
}

INSTANTIATE_TEST_SUITE_P(JolietPlainAndUdfNames, CdCheckIsoImage,
                         ::testing::Values(kJolietImage, kPlainImage, kUdfImage));

TEST(CdCheckIsoImageDamaged, TruncatedImageGivesErrorsNotACrash) {
  if (!HaveImageMaker(kJolietImage)) GTEST_SKIP() << "xorriso is not installed";
  TempFolder folder;
  const std::string image = MakeImage(folder, kJolietImage);
  ASSERT_FALSE(image.empty());
  // The directories, at the start of the image, stay; the files are cut off.
  std::filesystem::resize_file(image, 40 * 2048);
  ToolOutput output;
  EXPECT_EQ(kExitErrors, RunCdCheckTool({"--quiet", image}, OpenCdOnPosix, output));
  EXPECT_NE(std::string::npos, output.out.find("cannot be read to its end")) << output.out;
}
#endif

// Windows-1252.

TEST(Cp1252, ConvertsFoldsAndRecognisesUtf8) {
  EXPECT_EQ("\xE2\x82\xAC \xC3\xA4", Cp1252ToUtf8("\x80 \xE4"));
  EXPECT_EQ("\xE4" "bc \x9A", FoldCase("\xC4" "BC \x8A"));
  EXPECT_TRUE(LooksLikeUtf8("W\xC3\xA4hlen"));
  EXPECT_FALSE(LooksLikeUtf8("W\xE4hlen"));
  EXPECT_FALSE(LooksLikeUtf8("plain"));
  EXPECT_TRUE(IsUndefinedInCp1252(0x9D));
  EXPECT_FALSE(IsUndefinedInCp1252(0x9C));
}


// The converter: what the author's editor saves, made into a message file.

struct ConverterCase {
  std::string source;
  std::string text;  // "" when it must fail
  std::size_t error_line = 0;
  std::size_t error_column = 0;
};

TEST(TextConverter, WritesWindows1252WithOneCrLfOrNamesTheCharacterThatFails) {
  const ConverterCase cases[] = {
      {"W\xC3\xA4hlen \xE2\x82\xAC\nzwei", "W\xE4hlen \x80\r\nzwei\r\n"},
      {"\xEF\xBB\xBFplain\r\n", "plain\r\n"},  // the mark alone makes it UTF-8
      {"W\xE4hlen\r\n\r\n", "W\xE4hlen\r\n\r\n"},  // Windows-1252, already CR LF
      {"Done.\r\r\n", "", 1, 6},                     // CR CR LF stays a fault
      {"ok\nzw\xC3\xA4\xC4\x87\n", "", 2, 4},         // U+0107 has no byte
      {"\xEF\xBB\xBF" "bad \xE4\n", "", 1, 5},        // a BOM, then no UTF-8
      {"\n\xE4\x81", "", 2, 2},                          // undefined in Windows-1252
  };
  for (const auto& c : cases) {
    const Conversion converted = ConvertToMessageFile(c.source);
    if (!c.text.empty()) {
      EXPECT_TRUE(converted.ok()) << c.source;
      EXPECT_EQ(c.text, converted.text) << c.source;
      EXPECT_EQ(c.text, ConvertToMessageFile(converted.text).text) << "converted twice";
    } else {
      ASSERT_FALSE(converted.ok()) << c.source;
      EXPECT_EQ("", converted.text);
      EXPECT_EQ(c.error_line, converted.errors[0].line) << c.source;
      EXPECT_EQ(c.error_column, converted.errors[0].column) << c.source;
    }
  }
}

TEST(TextConverter, FailureLeavesTheTargetAsItWasAndNoFileBeside) {
  TempFolder folder;
  folder.WriteFile("ok.txt", "Gr\xC3\xBC\xC3\x9F Gott\n");
  folder.WriteFile("bad.txt", "\xC5\x81\xC3\xB3" "d\xC5\xBA\n");
  folder.WriteFile("target.dat", "old\r\n");
  const std::string target = folder.path() + "/target.dat";
  ToolOutput output;
  const auto convert = [&](const std::string& source) {
    return RunCdCheckTool({"--convert", folder.path() + "/" + source, target}, OpenCdOnPosix,
                          output, PosixHostFiles());
  };
  EXPECT_EQ(kExitErrors, convert("bad.txt"));
  EXPECT_NE(std::string::npos, output.err.find("bad.txt:1:1: error: U+0141")) << output.err;
  EXPECT_EQ("old\r\n", folder.ReadFile("target.dat"));
  EXPECT_EQ(kExitClean, convert("ok.txt")) << output.err;
  EXPECT_EQ("Gr\xFC\xDF Gott\r\n", folder.ReadFile("target.dat"));
  EXPECT_EQ(kExitUsage, convert("missing.txt"));
  EXPECT_EQ(3u, std::distance(std::filesystem::directory_iterator(folder.path()),
                              std::filesystem::directory_iterator()));
}

}  // namespace
}  // namespace orvik::cdcheck
