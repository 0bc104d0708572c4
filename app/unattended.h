// orvik-install: the same installation as OK in the dialog, driven by the
// command line for deployment systems, with an exit status that tells the
// outcome.
#pragma once

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "ui/install_action.h"

namespace orvik {

// Exit status of orvik-install. Deployment consoles show the Windows error
// text of the number beside it, so each is a Windows error code whose text
// is true of the failure, and each failure has its own.
constexpr int kExitSuccess = 0;
constexpr int kExitCopyListMissing = 2;      // ERROR_FILE_NOT_FOUND
constexpr int kExitDestFolder = 3;           // ERROR_PATH_NOT_FOUND
constexpr int kExitUntrustedDest = 5;        // ERROR_ACCESS_DENIED
constexpr int kExitOutOfMemory = 8;          // ERROR_NOT_ENOUGH_MEMORY
constexpr int kExitCopyListDamaged = 13;     // ERROR_INVALID_DATA
constexpr int kExitReceipt = 29;             // ERROR_WRITE_FAULT
constexpr int kExitSourceFile = 30;          // ERROR_READ_FAULT
constexpr int kExitDestFile = 82;            // ERROR_CANNOT_MAKE
constexpr int kExitUsage = 87;               // ERROR_INVALID_PARAMETER
constexpr int kExitLog = 110;                // ERROR_OPEN_FAILED
constexpr int kExitWrite = 112;              // ERROR_DISK_FULL
constexpr int kExitLinkedDest = 681;         // ERROR_STOPPED_ON_SYMLINK
constexpr int kExitSourceAbsent = 1612;      // ERROR_INSTALL_SOURCE_ABSENT
constexpr int kExitAlreadyRunning = 1618;    // ERROR_INSTALL_ALREADY_RUNNING
constexpr int kExitUnknownResult = 1603;     // ERROR_INSTALL_FAILURE

struct ExitCodeRow {
  int status;
  const char* windows_name;
  const char* meaning;
};
// Every exit status, for the usage text and the documentation.
extern const ExitCodeRow kExitCodeTable[];
extern const std::size_t kExitCodeCount;

// The engine's result as an exit status; a damaged copy list is told apart
// from a missing one by the caller.
int ExitStatusForInstallResult(InstallResult result);

enum class ShortcutChoice { kUser, kAllUsers, kNone };

struct UnattendedOptions {
  // As typed: "E:", "C:\pkg\Orvik 8", "\\server\share\Orvik".
  std::optional<std::string> source;
  std::optional<char> cd_drive;
  char language = 'e';
  std::optional<std::string> dest_folder;
  // Nothing: the user's desktop, or the common one when run as SYSTEM.
  std::optional<ShortcutChoice> shortcut;
  std::optional<std::string> log_file;
  std::optional<std::string> receipt_file;
  bool quiet = false;
  bool help = false;
};

struct ParsedArguments {
  bool ok = false;
  UnattendedOptions options;
  std::string error;  // what is wrong, when !ok
};

// The arguments of a Windows command line, after the program's name. A
// double quote opens and closes quoting and is dropped; a backslash is
// always itself, so "C:\Program Files\Orvik\" is one argument ending in a
// backslash (the C runtime's rules would take the quote as text).
std::vector<std::string> SplitCommandLine(const std::string& command_line);

// Accepts "--name value", "--name=value" and the Windows habits
// "/name:value" and "/name value"; names ignore case.
ParsedArguments ParseUnattendedArguments(const std::vector<std::string>& args);

std::string UnattendedUsage();

enum class Account { kUser, kAdministrator, kSystem };

// What the unattended run needs from the platform.
class UnattendedHost {
 public:
  virtual ~UnattendedHost() = default;
  virtual InstallServices Services() = 0;
  // The folder orvik-install.exe lies in ("E:\" or "C:\pkg\Orvik 8").
  virtual std::string ModuleFolder() = 0;
  // The absolute form of `path`, "." and ".." resolved; empty on failure.
  virtual std::string FullPath(const std::string& path) = 0;
  virtual Account RunningAccount() = 0;
  // False when another orvik-install or setup.exe holds the lock.
  virtual bool TakeInstallLock() = 0;
  // `restricted`: owned by Administrators, with the access list of Program
  // Files, not inherited. False when the folder cannot be created, also
  // when something of that name exists by now.
  virtual bool CreateFolder(const std::string& folder, bool restricted) = 0;
  // Whether only administrators can change the folder: its owner is
  // Administrators, SYSTEM, TrustedInstaller or the running account, and
  // no other account may rename, delete or re-permission it, nor, for the
  // folder that `receives_files`, add to it or write what it will hold.
  virtual bool OnlyAdministratorsCanChange(const std::string& folder,
                                           bool receives_files) = 0;
  // Writes `content` under a temporary name beside `path`, then moves it
  // over `path` (a link there is replaced, never written through).
  virtual bool ReplaceFile(const std::string& path, const std::string& content) = 0;
  // "2026-12-08T14:03:11Z"
  virtual std::string UtcTime() = 0;
  // The opened, unbuffered log, or null.
  virtual std::FILE* OpenLog(const std::string& path) = 0;
  // Text in the ANSI code page, for standard output or standard error.
  virtual void WriteOutput(const std::string& text) = 0;
  virtual void WriteError(const std::string& text) = 0;
};

// Runs the whole unattended installation; returns the exit status.
int RunUnattended(const UnattendedOptions& options, UnattendedHost& host);

}  // namespace orvik
