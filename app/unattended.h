// orvik-install: the same installation as OK in the dialog, driven by the
// command line for deployment systems, with an exit status that tells the
// outcome.
#pragma once

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/exit_status.h"
#include "ui/install_action.h"

namespace orvik {

enum class Account { kUser, kAdministrator, kSystem };

// An entry of the list of installed programs ("Apps & features").
struct Registration {
  std::string key;  // "Ostmarrow.Orvik8"
  std::string display_name;
  std::string display_version;
  std::string publisher;
  std::string install_location;
  std::string install_date;  // "20261208"
  unsigned estimated_size_kb = 0;
  unsigned language_id = 0;  // 1033, 1031, 1036, 1040
  std::string display_icon;
  std::string uninstall_string;
  std::string quiet_uninstall_string;
};

// What the unattended run needs from the platform.
class UnattendedHost {
 public:
  virtual ~UnattendedHost() = default;
  virtual InstallServices Services() = 0;
  // The folder orvik-install.exe lies in ("E:\" or "C:\pkg\Orvik 8").
  virtual std::string ModuleFolder() = 0;
  // The program's own file, "E:\orvik-install.exe".
  virtual std::string ModulePath() = 0;
  // As the process was started, for the log.
  virtual std::string CommandLine() = 0;
  // "DOMAIN\name" of the running account, for the log.
  virtual std::string AccountName() = 0;
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
  // "2026-12-08T14:03:11Z"
  virtual std::string UtcTime() = 0;
  // The opened, unbuffered log, or null; the earlier runs' lines kept at
  // its start (never read through a link).
  virtual std::FILE* OpenLog(const std::string& path) = 0;
  // The entry of Windows' list of installed programs (the registry's
  // Uninstall key: the machine's when `machine`, else the user's).
  virtual bool Register(const Registration& entry, bool machine) = 0;
  virtual bool Unregister(const std::string& key, bool machine) = 0;
  // The InstallLocation of the entry, when there is one.
  virtual std::optional<std::string> RegisteredFolder(const std::string& key,
                                                      bool machine) = 0;
  // The programs holding the file open, as Windows can tell them
  // ("Orvik (1234)"); empty when it cannot.
  virtual std::string ProgramsUsing(const std::string& path) = 0;
  // Text in the ANSI code page, for standard output or standard error.
  virtual void WriteOutput(const std::string& text) = 0;
  virtual void WriteError(const std::string& text) = 0;
};

// Runs the whole unattended installation, or the removal with
// --uninstall; returns the exit status.
int RunUnattended(const UnattendedOptions& options, UnattendedHost& host);

}  // namespace orvik
