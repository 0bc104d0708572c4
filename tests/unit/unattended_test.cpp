#include "app/unattended.h"

#include <gtest/gtest.h>

#include "engine/debug_log.h"
#include "unit/fakes.h"
#include "unit/test_support.h"

namespace orvik {
namespace {

using testing::TempFolder;

ParsedArguments Parse(std::vector<std::string> args) {
  return ParseUnattendedArguments(args);
}

TEST(UnattendedArguments, BothSyntaxesGiveTheSameOptions) {
  for (const auto& args :
       {std::vector<std::string>{"--source", "f:", "--language", "d", "--dest",
                                 "c:\\Programme\\Orvik", "--no-shortcut", "--log",
                                 "c:\\i.log", "--quiet"},
        std::vector<std::string>{"--source=f:", "--language=D", "--dest=c:\\Programme\\Orvik",
                                 "--NO-SHORTCUT", "--log=c:\\i.log", "--quiet"},
        std::vector<std::string>{"/source:f:", "/Language:d", "/dest:c:\\Programme\\Orvik",
                                 "/no-shortcut", "/log", "c:\\i.log", "/QUIET"}}) {
    const auto parsed = ParseUnattendedArguments(args);
    ASSERT_TRUE(parsed.ok) << parsed.error;
    EXPECT_EQ('f', parsed.options.source_drive.value());
    EXPECT_EQ('d', parsed.options.language);
    EXPECT_EQ("c:\\Programme\\Orvik", parsed.options.dest_folder.value());
    EXPECT_FALSE(parsed.options.create_shortcut);
    EXPECT_EQ("c:\\i.log", parsed.options.log_file.value());
    EXPECT_TRUE(parsed.options.quiet);
  }
}

TEST(UnattendedArguments, DefaultsAndHelp) {
  const auto none = Parse({});
  ASSERT_TRUE(none.ok);
  EXPECT_FALSE(none.options.source_drive);
  EXPECT_EQ('e', none.options.language);
  EXPECT_FALSE(none.options.dest_folder);
  EXPECT_TRUE(none.options.create_shortcut);
  EXPECT_TRUE(Parse({"/?"}).options.help);
  EXPECT_TRUE(Parse({"--help"}).options.help);
  EXPECT_EQ('D', Parse({"--source", "D"}).options.source_drive.value());
  EXPECT_EQ('d', Parse({"--source", "d:\\"}).options.source_drive.value());
  EXPECT_TRUE(Parse({"--dest", "\\\\server\\share\\orvik"}).ok);
}

TEST(UnattendedArguments, BadInputIsAUsageError) {
  for (const auto& args : std::vector<std::vector<std::string>>{
           {"--source"}, {"--source", "DD:"}, {"--source", "1:"}, {"--source=d:x"},
           {"--language", "x"}, {"--language", "en"}, {"--dest="}, {"--log"},
           {"--dest", "orvik8"}, {"--dest", "\\orvik8"}, {"--dest", "c:orvik8"},
           {"--quiet=yes"}, {"--unknown"}, {"/x"}, {"stray"}, {"--"},
           {"--quiet", "--quiet"}, {"--dest", "a", "/dest:b"}}) {
    const auto parsed = ParseUnattendedArguments(args);
    EXPECT_FALSE(parsed.ok) << args[0];
    EXPECT_FALSE(parsed.error.empty());
  }
}

// A host over drive C (current, fixed) and the sample CD on CD-ROM drive
// f, as the unattended run sees them.
class UnattendedHostFake : public UnattendedHost {
 public:
  UnattendedHostFake() {
    files.MapDrive('C', drive_c.path());
    files.MapDrive('F', ORVIK_SAMPLE_CD);
    files.SetCurrentDrive('C');
    drives.AddCdRom('f');
  }
  InstallServices Services() override { return {files, drives, shell}; }
  int CurrentDriveNumber() override { return 3; }
  std::FILE* OpenLog(const std::string& path) override {
    const auto host_path = files.HostPath(path);
    return host_path ? std::fopen(host_path->c_str(), "wb") : nullptr;
  }
  void WriteOutput(const std::string& text) override { output += text; }
  void WriteError(const std::string& text) override { errors += text; }

  TempFolder drive_c;
  PosixFileSystem files;
  testing::FakeDrives drives;
  testing::FakeShell shell;
  std::string output;
  std::string errors;
};

// Replaces the non-zero stream identities of "Looking for" lines.
std::string MaskOpenStreams(std::string log) {
  for (std::size_t at = 0; (at = log.find("': ", at)) != std::string::npos; at += 3) {
    if (log.compare(at + 3, 8, "00000000") != 0) log.replace(at + 3, 8, "open");
  }
  return log;
}

class Unattended : public ::testing::Test {
 protected:
  void SetUp() override { testing::ResetGlobalState(); }
  void TearDown() override { testing::ResetGlobalState(); }
  UnattendedHostFake host_;
};

TEST_F(Unattended, FindsTheCdInstallsAndLogsLikeSetup) {
  UnattendedOptions options;
  options.language = 'd';
  options.log_file = "c:\\install.log";
  EXPECT_EQ(kExitSuccess, RunUnattended(options, host_));
  EXPECT_TRUE(host_.drive_c.Exists("orvik8/orvik8.exe"));
  EXPECT_NE(std::string::npos, host_.drive_c.ReadFile("orvik8/startup.mar").find("18 cd drive f\n"));
  // The probe of drive f, then the success line read by the copy.
  EXPECT_EQ(MaskOpenStreams(host_.drive_c.ReadFile("install.log")),
            "Entering dlg\n"
            "Looking for 'C:\\install\\dinstall.dat': 00000000\n"
            "Looking for 'C:\\install\\install.dat': 00000000, version 7\n"
            "Looking for 'f:\\install\\dinstall.dat': open\n"
            "Looking for 'f:\\install\\dinstall.dat': open\n"
            "rval = 0\n" + host_.output + "\n"
            "Exited install_dlg\n");
  EXPECT_NE(std::string::npos, host_.output.find("erfolgreich"));
  ASSERT_EQ(1u, host_.shell.saved.size());
  EXPECT_EQ("C:\\Users\\Ann\\Desktop\\orvik8.lnk", host_.shell.saved[0].path);
}

TEST_F(Unattended, NoShortcutQuietAndTypedFolder) {
  UnattendedOptions options;
  options.source_drive = 'F';
  options.dest_folder = "c:\\Programme";
  options.create_shortcut = false;
  options.quiet = true;
  EXPECT_EQ(kExitSuccess, RunUnattended(options, host_));
  EXPECT_TRUE(host_.drive_c.Exists("Programme/orvik.dll"));
  EXPECT_TRUE(host_.shell.saved.empty());
  EXPECT_EQ("", host_.output);
}

TEST_F(Unattended, FailuresHaveTheirOwnExitStatus) {
  UnattendedOptions options;
  options.dest_folder = "c:\\missing\\orvik8";
  EXPECT_EQ(kExitDestFolder, RunUnattended(options, host_));
  EXPECT_TRUE(host_.shell.saved.empty()) << "no shortcut after a failure";

  host_.drives.cd_roms.clear();
  EXPECT_EQ(kExitCdNotFound, RunUnattended(UnattendedOptions{}, host_));
  EXPECT_NE(std::string::npos, host_.errors.find("not found"));

  UnattendedOptions bad_log;
  bad_log.source_drive = 'F';
  bad_log.log_file = "q:\\no-such-drive.log";
  EXPECT_EQ(kExitUsage, RunUnattended(bad_log, host_));
  EXPECT_FALSE(host_.drive_c.Exists("orvik8"));

  EXPECT_EQ(kExitCopyList, ExitStatusForInstallResult(-2));
  EXPECT_EQ(kExitWrite, ExitStatusForInstallResult(-5));
}

}  // namespace
}  // namespace orvik
