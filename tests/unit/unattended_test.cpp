#include "app/unattended.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "engine/debug_log.h"
#include "engine/install_message.h"
#include "app/receipt.h"
#include "engine/result_codes.h"
#include "tests/unit/fake_unattended_host.h"
#include "tests/unit/fakes.h"
#include "tests/unit/test_support.h"

namespace orvik {
namespace {

using testing::TempFolder;
using testing::UnattendedHostFake;
using Args = std::vector<std::string>;

ParsedArguments Parse(Args args) { return ParseUnattendedArguments(args); }

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

TEST(UnattendedArguments, CommandLineSplitKeepsABackslashBeforeAQuote) {
  const struct {
    const char* line;
    Args args;
  } cases[] = {
      {"orvik-install.exe", {}},
      {"\"C:\\pkg\\Orvik 8\\orvik-install.exe\" --quiet", {"--quiet"}},
      {"x --dest \"C:\\Program Files\\Orvik\\\" --quiet",
       {"--dest", "C:\\Program Files\\Orvik\\", "--quiet"}},
      {"x --dest=\"C:\\a b\"\\c\t/quiet", {"--dest=C:\\a b\\c", "/quiet"}},
      {"x \"\" --log \"c:\\unclosed", {"", "--log", "c:\\unclosed"}},
      {"  x   --source   \\\\srv\\share\\  ", {"--source", "\\\\srv\\share\\"}},
  };
  for (const auto& c : cases) EXPECT_EQ(c.args, SplitCommandLine(c.line)) << c.line;
}

TEST(UnattendedArguments, BothSyntaxesGiveTheSameOptions) {
  for (const auto& args :
       {Args{"--source", "f:", "--language", "de", "--dest", "c:\\Programme\\Orvik\\",
             "--no-shortcut", "--log", "c:\\i.log", "--receipt", "c:\\r.txt",
             "--cd-drive", "g", "--quiet"},
        Args{"--source=F:\\", "--language=D", "--dest=c:\\Programme\\Orvik",
             "--SHORTCUT=none", "--log=c:\\i.log", "--receipt=c:\\r.txt",
             "--cd-drive=g:", "--quiet"},
        Args{"/source:f", "/Language:d", "/dest:c:\\Programme\\Orvik", "/no-shortcut",
             "/log", "c:\\i.log", "/receipt", "c:\\r.txt", "/cd-drive:g", "/QUIET"}}) {
    const auto parsed = ParseUnattendedArguments(args);
    ASSERT_TRUE(parsed.ok) << parsed.error;
    EXPECT_EQ("F:", Upper(parsed.options.source.value()));
    EXPECT_EQ('d', parsed.options.language);
    EXPECT_EQ("c:\\Programme\\Orvik", parsed.options.dest_folder.value());
    EXPECT_EQ(ShortcutChoice::kNone, parsed.options.shortcut.value());
    EXPECT_EQ("c:\\i.log", parsed.options.log_file.value());
    EXPECT_EQ("c:\\r.txt", parsed.options.receipt_file.value());
    EXPECT_EQ('g', parsed.options.cd_drive.value());
    EXPECT_TRUE(parsed.options.quiet);
  }
}

TEST(UnattendedArguments, DefaultsValuesAndHelp) {
  const auto none = Parse({});
  ASSERT_TRUE(none.ok);
  EXPECT_FALSE(none.options.source);
  EXPECT_EQ('e', none.options.language);
  EXPECT_FALSE(none.options.dest_folder);
  EXPECT_FALSE(none.options.shortcut);
  EXPECT_TRUE(Parse({"/?"}).options.help);
  EXPECT_TRUE(Parse({"--help"}).options.help);
  for (const auto& [name, letter] :
       {std::pair{"en", 'e'}, {"DE", 'd'}, {"fr", 'f'}, {"it", 'i'}, {"I", 'i'}})
    EXPECT_EQ(letter, Parse({"--language", name}).options.language) << name;
  EXPECT_EQ(ShortcutChoice::kAllUsers, Parse({"--shortcut", "All-Users"}).options.shortcut);
  EXPECT_EQ(ShortcutChoice::kUser, Parse({"--shortcut=user"}).options.shortcut);
  EXPECT_EQ("D:", Parse({"--source", "D"}).options.source.value());
  EXPECT_EQ("C:\\pkg\\Orvik 8", Parse({"--source", "C:\\pkg\\Orvik 8\\"}).options.source);
  EXPECT_EQ("\\\\srv\\share\\Orvik", Parse({"--source", "\\\\srv\\share\\Orvik\\"}).options.source);
  EXPECT_EQ("C:\\", Parse({"--dest", "C:\\"}).options.dest_folder);
  EXPECT_TRUE(Parse({"--dest", "\\\\server\\share\\orvik"}).ok);
}

TEST(UnattendedArguments, BadInputIsAUsageError) {
  for (const auto& args : std::vector<Args>{
           {"--source"}, {"--source", "DD:"}, {"--source", "1:"}, {"--source=d:x"},
           {"--source", "pkg"}, {"--source", "\\\\"}, {"--source", "C:\\a|b"},
           {"--language", "x"}, {"--language", "english"}, {"--dest="}, {"--log"},
           {"--dest", "orvik8"}, {"--dest", "\\orvik8"}, {"--dest", "c:orvik8"},
           {"--dest", "C:\\a<b"}, {"--dest", "C:\\a?"}, {"--dest", "C:\\a*"},
           {"--dest", "C:\\a\"b"}, {"--dest", "C:\\a\tb"}, {"--dest", "C:\\a:b"},
           {"--shortcut", "desktop"}, {"--cd-drive", "12"}, {"--receipt="},
           {"--quiet=yes"}, {"--unknown"}, {"/x"}, {"stray"}, {"--"},
           {"--quiet", "--quiet"}, {"--dest", "c:\\a", "/dest:c:\\b"},
           {"--no-shortcut", "--shortcut", "user"}}) {
    const auto parsed = ParseUnattendedArguments(args);
    EXPECT_FALSE(parsed.ok) << args[0];
    EXPECT_FALSE(parsed.error.empty());
  }
}

TEST(UnattendedExitStatus, EachFailureItsOwnCodeAndUnknownIsNotMemory) {
  std::set<int> statuses;
  for (InstallResult result :
       {InstallResult::kOk, InstallResult::kDestFolderFailed, InstallResult::kCopyListFailed,
        InstallResult::kSourceFileFailed, InstallResult::kDestFileFailed,
        InstallResult::kWriteFailed, InstallResult::kOutOfMemory})
    statuses.insert(ExitStatusForInstallResult(result));
  EXPECT_EQ(7u, statuses.size());
  EXPECT_EQ(kExitDestFolder, ExitStatusForInstallResult(InstallResult::kDestFolderFailed));
  EXPECT_EQ(kExitWrite, ExitStatusForInstallResult(InstallResult::kWriteFailed));
  EXPECT_EQ(kExitUnknownResult, ExitStatusForInstallResult(static_cast<InstallResult>(-7)));

  std::set<int> table;
  for (std::size_t i = 0; i < kExitCodeCount; ++i) table.insert(kExitCodeTable[i].status);
  EXPECT_EQ(kExitCodeCount, table.size()) << "a status listed twice";
  for (int status : statuses) EXPECT_EQ(1u, table.count(status)) << status;
}

// The administrators read the table in the README: it must list the same.
TEST(UnattendedExitStatus, ReadmeListsEveryStatus) {
  std::ifstream readme(std::string(ORVIK_SAMPLE_CD) + "/../../README.md");
  std::stringstream text;
  text << readme.rdbuf();
  ASSERT_FALSE(text.str().empty());
  for (std::size_t i = 0; i < kExitCodeCount; ++i) {
    const auto& row = kExitCodeTable[i];
    const std::string line =
        "| " + std::to_string(row.status) + " | `" + row.windows_name + "` |";
    EXPECT_NE(std::string::npos, text.str().find(line)) << line;
  }
}

// Replaces the non-zero stream identities of "Looking for" lines.
std::string MaskOpenStreams(std::string log) {
  for (std::size_t at = 0; (at = log.find("': ", at)) != std::string::npos; at += 3) {
    if (log.compare(at + 3, 8, "00000000") != 0) log.replace(at + 3, 8, "open");
  }
  return log;
}

std::string MessageLines(const std::string& cd, char language, unsigned first,
                         unsigned count) {
  PosixFileSystem files;
  files.MapDrive('X', cd);
  std::string text;
  LoadInstallMessage(files, CdFolder("X:\\"), language, first, count, text);
  return text;
}

class Unattended : public ::testing::Test {
 protected:
  void SetUp() override { testing::ResetGlobalState(); }
  void TearDown() override { testing::ResetGlobalState(); }

  // The sample CD copied into C:\pkg\Orvik 8, as a deployment system
  // stages it; orvik-install started from there.
  std::string StagePackage() {
    const std::string folder = host_.drive_c.path() + "/pkg/Orvik 8";
    std::filesystem::create_directories(folder);
    std::filesystem::copy(ORVIK_SAMPLE_CD, folder, std::filesystem::copy_options::recursive);
    host_.module_folder = "C:\\pkg\\Orvik 8";
    return folder;
  }

  UnattendedHostFake host_;
};

TEST_F(Unattended, FindsTheCdInstallsAndLogsLikeSetup) {
  UnattendedOptions options;
  options.language = 'd';
  options.log_file = "c:\\install.log";
  EXPECT_EQ(kExitSuccess, RunUnattended(options, host_));
  EXPECT_TRUE(host_.drive_c.Exists("orvik8/orvik8.exe"));
  EXPECT_NE(std::string::npos, host_.drive_c.ReadFile("orvik8/startup.mar").find("18 cd drive f\n"));
  // The program's folder, then the probe of drive f, then the success
  // line read by the copy.
  // A line that says which run it is, setup.exe's records, the files
  // installed, and the exit status.
  const std::string log = MaskOpenStreams(host_.drive_c.ReadFile("install.log"));
  const std::string records =
      "==== orvik-install 8.0, 2026-12-08T14:03:11Z, HOST\\Ann: orvik-install.exe --test\n"
      "Entering dlg\n"
      "Looking for 'C:\\tools\\install\\dinstall.dat': 00000000\n"
      "Looking for 'C:\\tools\\install\\install.dat': 00000000, version 7\n"
      "Looking for 'f:\\install\\dinstall.dat': open\n"
      "Looking for 'f:\\install\\dinstall.dat': open\n"
      "rval = 0\n" + host_.output + "\n"
      "Installed orvik8.exe (";
  EXPECT_EQ(records, log.substr(0, records.size()));
  EXPECT_NE(std::string::npos, log.find("Installed orvik-uninstall.exe ("));
  const std::string ending = "Exited install_dlg\n==== exit 0 ERROR_SUCCESS\n";
  EXPECT_EQ(ending, log.substr(log.size() - std::min(log.size(), ending.size())));
  EXPECT_NE(std::string::npos, host_.output.find("erfolgreich"));
  ASSERT_EQ(1u, host_.shell.saved.size());
  EXPECT_EQ("C:\\Users\\Ann\\Desktop\\orvik8.lnk", host_.shell.saved[0].path);
  EXPECT_FALSE(host_.drive_c.Exists("receipt.txt"));
  // The next run adds to the log.
  ASSERT_EQ(kExitSuccess, RunUnattended(options, host_));
  EXPECT_EQ(log, MaskOpenStreams(host_.drive_c.ReadFile("install.log")).substr(0, log.size()));
}

TEST_F(Unattended, PackageFolderIsTheCdAndNothingOutsideIsRead) {
  const std::string package = StagePackage();
  // Outside the package: the current folder's message file, and the files
  // that an entry climbing out of the package would reach.
  host_.drive_c.WriteFile("einstall.dat", std::string(16, '\n'));
  host_.drive_c.WriteFile("orvik.dll", "planted");
  host_.drive_c.WriteFile("pkg/orvik.dll", "planted");
  std::string list = host_.drive_c.ReadFile("pkg/Orvik 8/install/eopylist.dat");
  list.replace(list.find("\\prog\\orvik.dll"), 15, "\\..\\..\\orvik.dll");
  host_.drive_c.WriteFile("pkg/Orvik 8/install/eopylist.dat", list);
  host_.drives.cd_roms.clear();  // no CD-ROM drive at all

  EXPECT_EQ(kExitSourceFile, RunUnattended(UnattendedOptions{}, host_));
  EXPECT_EQ(MessageLines(package, 'e', 9, 3), host_.output);
  EXPECT_FALSE(host_.drive_c.Exists("orvik8/orvik.dll"));
}

TEST_F(Unattended, CdDriveLineNamesTheDriveTheProductWillLookIn) {
  StagePackage();
  const struct {
    std::set<char> cd_roms;
    std::optional<char> cd_drive;
    const char* line;
  } cases[] = {
      {{}, std::nullopt, "18 cd drive C\n"},     // no CD-ROM: the package's drive
      {{'f'}, std::nullopt, "18 cd drive f\n"},  // the machine's first CD-ROM
      {{'f'}, 'X', "18 cd drive X\n"},
  };
  for (const auto& c : cases) {
    host_.drives.cd_roms = c.cd_roms;
    UnattendedOptions options;
    options.cd_drive = c.cd_drive;
    options.dest_folder = "C:\\orvik8";
    ASSERT_EQ(kExitSuccess, RunUnattended(options, host_));
    const std::string startup = host_.drive_c.ReadFile("orvik8/startup.mar");
    EXPECT_EQ(c.line, startup.substr(startup.rfind("18 cd drive")));
  }
}

TEST_F(Unattended, ShortcutPlaceByChoiceAndAccount) {
  constexpr const char* kUserLink = "C:\\Users\\Ann\\Desktop\\orvik8.lnk";
  constexpr const char* kCommonLink = "C:\\Users\\Public\\Desktop\\orvik8.lnk";
  const struct {
    Account account;
    std::optional<ShortcutChoice> choice;
    const char* link;  // nullptr: no shortcut at all
  } cases[] = {
      {Account::kUser, std::nullopt, kUserLink},
      {Account::kAdministrator, std::nullopt, kUserLink},
      {Account::kSystem, std::nullopt, kCommonLink},
      {Account::kSystem, ShortcutChoice::kUser, kUserLink},
      {Account::kUser, ShortcutChoice::kAllUsers, kCommonLink},
      {Account::kSystem, ShortcutChoice::kNone, nullptr},
  };
  for (const auto& c : cases) {
    host_.shell.saved.clear();
    host_.account = c.account;
    UnattendedOptions options;
    options.shortcut = c.choice;
    options.quiet = true;
    ASSERT_EQ(kExitSuccess, RunUnattended(options, host_));
    if (c.link == nullptr) {
      EXPECT_TRUE(host_.shell.saved.empty());
    } else {
      ASSERT_EQ(1u, host_.shell.saved.size());
      EXPECT_EQ(c.link, host_.shell.saved[0].path);
    }
    EXPECT_EQ("", host_.output);
  }
}

TEST_F(Unattended, MissingParentsMadeRestrictedWhenElevatedAndReceiptLast) {
  host_.account = Account::kSystem;
  UnattendedOptions options;
  options.source = "F:";
  options.language = 'i';
  options.dest_folder = "C:\\Vendor\\Apps\\Orvik";
  options.receipt_file = "C:\\orvik-receipt.txt";
  options.log_file = "C:\\Logs\\Orvik\\install.log";
  EXPECT_EQ(kExitSuccess, RunUnattended(options, host_));
  EXPECT_EQ((std::vector<std::string>{"C:\\Logs restricted", "C:\\Logs\\Orvik restricted",
                                      "C:\\Vendor restricted", "C:\\Vendor\\Apps restricted",
                                      "C:\\Vendor\\Apps\\Orvik restricted"}),
            host_.created);
  // What it made itself needs no check; the root above it does.
  EXPECT_EQ((std::vector<std::string>{"C:\\"}), host_.checked);
  // The receipt in the folder and its copy, naming every file the run
  // left there, by size and digest, and the shortcut it made.
  const std::string receipt = host_.drive_c.ReadFile("Vendor/Apps/Orvik/orvik-receipt.txt");
  EXPECT_EQ(receipt, host_.drive_c.ReadFile("orvik-receipt.txt"));
  const std::string head =
      "[Orvik]\nProductVersion=8.0\nLanguage=i\nDestination=C:\\Vendor\\Apps\\Orvik\n"
      "Source=F:\nFiles=8\nInstalledUtc=2026-12-08T14:03:11Z\n"
      "Shortcut=C:\\Users\\Public\\Desktop\\orvik8.lnk\nReceiptCopy=C:\\orvik-receipt.txt\n"
      "\n[Files]\norvik8.exe=";
  EXPECT_EQ(head, receipt.substr(0, head.size()));
  // "the program", as the fake host's program file holds it.
  EXPECT_NE(std::string::npos,
            receipt.find("\norvik-uninstall.exe=11,"
                         "50fda23bf0a5115d4f893dc10d122c10a4705f47688f5620e80611c092d4053e\n"))
      << receipt;
  const auto parsed = ParseReceipt(receipt);
  ASSERT_TRUE(parsed);
  for (const ReceiptFile& file : parsed->files) {
    const auto now = DigestOf(host_.files, "C:\\Vendor\\Apps\\Orvik", file.name);
    ASSERT_TRUE(now) << file.name;
    EXPECT_EQ(file.sha256, now->sha256) << file.name;
    EXPECT_EQ(file.size, now->size) << file.name;
  }
  ASSERT_EQ(1u, host_.registry.size());
  const Registration& entry = host_.registry.begin()->second;
  EXPECT_EQ("Ostmarrow.Orvik8", entry.key);
  EXPECT_TRUE(host_.registry.begin()->first.second) << "the machine's list when elevated";
  EXPECT_EQ("\"C:\\Vendor\\Apps\\Orvik\\orvik-uninstall.exe\" --uninstall --dest "
            "\"C:\\Vendor\\Apps\\Orvik\" --quiet",
            entry.quiet_uninstall_string);
  EXPECT_EQ(1040u, entry.language_id);
  EXPECT_EQ("20261208", entry.install_date);

  host_.created.clear();
  host_.account = Account::kUser;
  options.dest_folder = "C:\\Other\\Orvik";
  EXPECT_EQ(kExitSuccess, RunUnattended(options, host_));
  EXPECT_EQ((std::vector<std::string>{"C:\\Other", "C:\\Other\\Orvik"}), host_.created);
}

// A folder a user made, or can rename, is no place for an elevated
// installation: the user keeps what he planted there and could swap it.
TEST_F(Unattended, ElevatedRefusesFoldersUsersControlAndWritesNothing) {
  host_.account = Account::kAdministrator;
  host_.drive_c.MakeFolder("orvik8");
  host_.drive_c.WriteFile("orvik8/version.dll", "planted");
  host_.drive_c.MakeFolder("Tools");
  UnattendedOptions options;
  options.source = "F:";
  options.receipt_file = "C:\\receipt.txt";
  const struct {
    const char* dest;
    const char* user_controlled;
  } cases[] = {
      {"C:\\orvik8", "C:\\orvik8"},
      {"C:\\Tools\\Orvik", "C:\\Tools"},
      {"C:\\Tools\\Orvik", "C:\\"},
  };
  for (const auto& c : cases) {
    host_.user_controlled = {c.user_controlled};
    host_.errors.clear();
    options.dest_folder = c.dest;
    EXPECT_EQ(kExitUntrustedDest, RunUnattended(options, host_)) << c.dest;
    EXPECT_EQ(std::string("orvik-install: ") + c.user_controlled +
                  " can be changed by users other than administrators; not installing there\n",
              host_.errors);
  }
  EXPECT_EQ("planted", host_.drive_c.ReadFile("orvik8/version.dll"));
  EXPECT_EQ(1, std::distance(std::filesystem::directory_iterator(host_.drive_c.path() + "/orvik8"),
                             std::filesystem::directory_iterator{}));
  EXPECT_FALSE(host_.drive_c.Exists("Tools/Orvik"));
  EXPECT_FALSE(host_.drive_c.Exists("receipt.txt"));
  EXPECT_TRUE(host_.created.empty());

  // As the user himself, his own folder is his to install into.
  host_.account = Account::kUser;
  host_.user_controlled = {"C:\\orvik8"};
  options.dest_folder = "C:\\orvik8";
  EXPECT_EQ(kExitSuccess, RunUnattended(options, host_));
}

TEST_F(Unattended, FailuresHaveTheirOwnExitStatusAndWriteNoReceipt) {
  UnattendedOptions options;
  options.receipt_file = "C:\\receipt.txt";
  options.dest_folder = "q:\\orvik8";
  options.log_file = "c:\\install.log";
  EXPECT_EQ(kExitDestFolder, RunUnattended(options, host_));
  EXPECT_TRUE(host_.shell.saved.empty()) << "no shortcut after a failure";
  const std::string log = host_.drive_c.ReadFile("install.log");
  EXPECT_NE(std::string::npos, log.find("Step failed: create folder 'q:\\orvik8'\n"));
  EXPECT_NE(std::string::npos,
            log.find("Step failed: create the destination folder 'q:\\orvik8'\n"))
      << "the engine's own step";

  options.dest_folder.reset();
  options.source = "C:\\tools";
  EXPECT_EQ(kExitSourceAbsent, RunUnattended(options, host_));
  EXPECT_NE(std::string::npos, host_.errors.find("not found in C:\\tools ("));

  host_.drives.cd_roms.clear();
  options.source.reset();
  EXPECT_EQ(kExitSourceAbsent, RunUnattended(options, host_));

  options.log_file = "q:\\no-such-drive.log";
  EXPECT_EQ(kExitLog, RunUnattended(options, host_));

  host_.lock_free = false;
  options.log_file = "c:\\second.log";
  EXPECT_EQ(kExitAlreadyRunning, RunUnattended(options, host_));
  EXPECT_FALSE(host_.drive_c.Exists("second.log")) << "nothing written";
  EXPECT_FALSE(host_.drive_c.Exists("orvik8"));
  EXPECT_FALSE(host_.drive_c.Exists("receipt.txt"));
}

TEST_F(Unattended, CopyListMissingOrDamagedAndLinkedDestination) {
  const std::string package = StagePackage();
  for (char language : {'e', 'd', 'f', 'i'})
    std::filesystem::remove(package + "/install/" + language + "opylist.dat");
  UnattendedOptions options;
  options.source = "C:\\pkg\\Orvik 8";
  EXPECT_EQ(kExitCopyListMissing, RunUnattended(options, host_));
  host_.drive_c.WriteFile("pkg/Orvik 8/install/copylist.dat", "no header\r\n");
  EXPECT_EQ(kExitCopyListDamaged, RunUnattended(options, host_));

  host_.drive_c.MakeFolder("elsewhere");
  std::filesystem::create_directory_symlink(host_.drive_c.path() + "/elsewhere",
                                            host_.drive_c.path() + "/linked");
  options.source = "F:";
  options.dest_folder = "C:\\linked";
  host_.account = Account::kAdministrator;
  EXPECT_EQ(kExitLinkedDest, RunUnattended(options, host_));
  options.dest_folder = "C:\\linked\\Orvik";  // a link further up
  EXPECT_EQ(kExitLinkedDest, RunUnattended(options, host_));
  EXPECT_TRUE(std::filesystem::is_empty(host_.drive_c.path() + "/elsewhere"));
  EXPECT_NE(std::string::npos, host_.errors.find("C:\\linked is a symbolic link or junction"));
}

// The product's life on a managed machine: an upgrade in another language,
// an upgrade that fails, one while Orvik runs, and the removal, which takes
// exactly what the installations put there.
TEST_F(Unattended, UpgradesCompleteOrChangeNothingAndRemovalTakesOnlyWhatWasInstalled) {
  host_.account = Account::kSystem;
  const std::string package = StagePackage();
  UnattendedOptions options;
  options.dest_folder = "C:\\Vendor\\Orvik";
  options.quiet = true;
  ASSERT_EQ(kExitSuccess, RunUnattended(options, host_));
  const std::string folder = host_.drive_c.path() + "/Vendor/Orvik";
  // The folder's files and their contents, without the receipts.
  const auto listing = [&] {
    std::map<std::string, std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
      const std::string name = entry.path().filename().string();
      if (name.rfind("orvik-receipt.", 0) != 0)
        files[name] = host_.drive_c.ReadFile("Vendor/Orvik/" + name);
    }
    return files;
  };
  const auto installed = listing();

  // A file the CD cannot give: nothing replaced, no receipt, no entry.
  std::filesystem::rename(package + "/prog/orvik.dll", package + "/prog/orvik.dll.away");
  options.language = 'd';
  EXPECT_EQ(kExitSourceFile, RunUnattended(options, host_));
  EXPECT_TRUE(installed == listing()) << "a failed upgrade changed the installation";
  EXPECT_FALSE(host_.drive_c.Exists("Vendor/Orvik/orvik-receipt.txt"));
  EXPECT_TRUE(host_.registry.empty());
  std::filesystem::rename(package + "/prog/orvik.dll.away", package + "/prog/orvik.dll");

  // Orvik running: 32, the program and the files beside it unchanged.
  host_.files.in_use = {"C:\\Vendor\\Orvik\\orvik8.exe"};
  host_.errors.clear();
  EXPECT_EQ(kExitInUse, RunUnattended(options, host_));
  EXPECT_TRUE(installed == listing()) << "an upgrade while Orvik runs changed the installation";
  EXPECT_NE(std::string::npos, host_.errors.find("orvik8.exe is in use by Orvik (42)"));
  // Asked for, the replacement waits for the next restart.
  options.replace_at_restart = true;
  EXPECT_EQ(kExitRestartNeeded, RunUnattended(options, host_));
  ASSERT_EQ(1u, host_.files.at_restart.size());
  EXPECT_EQ("C:\\Vendor\\Orvik\\orvik8.exe", host_.files.at_restart[0].second);
  host_.files.in_use.clear();
  host_.files.Restart();
  options.replace_at_restart = false;
  ASSERT_EQ(kExitSuccess, RunUnattended(options, host_));  // in German now
  EXPECT_NE(std::string::npos, host_.drive_c.ReadFile("Vendor/Orvik/orvik-receipt.txt").find("Language=d\n"));

  // A file the user changed, one he added: both stay, and are named.
  host_.drive_c.WriteFile("Vendor/Orvik/startup.mar", "the user's own");
  host_.drive_c.WriteFile("Vendor/Orvik/notes.txt", "mine");
  host_.errors.clear();
  UnattendedOptions removal;
  removal.uninstall = true;  // the folder from the registration
  EXPECT_EQ(kExitSuccess, RunUnattended(removal, host_));
  const auto left = listing();
  EXPECT_EQ((std::vector<std::string>{"notes.txt", "startup.mar"}),
            (std::vector<std::string>{left.begin()->first, std::next(left.begin())->first}));
  EXPECT_EQ(2u, left.size());
  EXPECT_EQ("orvik-install: kept C:\\Vendor\\Orvik\\startup.mar (changed since it was installed)\n"
            "orvik-install: kept C:\\Vendor\\Orvik\\notes.txt (not installed by Orvik)\n",
            host_.errors);
  EXPECT_TRUE(host_.registry.empty());
  EXPECT_FALSE(host_.drive_c.Exists("Users/Public/Desktop/orvik8.lnk"));

  // Nothing installed: nothing to do, and success.
  host_.output.clear();
  removal.quiet = false;
  EXPECT_EQ(kExitSuccess, RunUnattended(removal, host_));
  EXPECT_EQ("Orvik is not installed; nothing to remove.\n", host_.output);
  std::filesystem::remove_all(folder + "/..");
  removal.dest_folder = "C:\\Vendor\\Orvik";
  EXPECT_EQ(kExitSuccess, RunUnattended(removal, host_));
}

}  // namespace
}  // namespace orvik
