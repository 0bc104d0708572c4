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

// Exit status of orvik-install. Each failure of the copy engine has its own.
constexpr int kExitSuccess = 0;
constexpr int kExitUsage = 1;
constexpr int kExitCdNotFound = 2;
constexpr int kExitDestFolder = 11;
constexpr int kExitCopyList = 12;
constexpr int kExitSourceFile = 13;
constexpr int kExitDestFile = 14;
constexpr int kExitWrite = 15;
constexpr int kExitOutOfMemory = 16;

int ExitStatusForInstallResult(int result);

struct UnattendedOptions {
  std::optional<char> source_drive;  // as typed
  char language = 'e';
  std::optional<std::string> dest_folder;
  bool create_shortcut = true;
  std::optional<std::string> log_file;
  bool quiet = false;
  bool help = false;
};

struct ParsedArguments {
  bool ok = false;
  UnattendedOptions options;
  std::string error;  // what is wrong, when !ok
};

// Accepts "--name value", "--name=value" and the Windows habits
// "/name:value" and "/name value"; names ignore case.
ParsedArguments ParseUnattendedArguments(const std::vector<std::string>& args);

extern const char kUnattendedUsage[];

// What the unattended run needs from the platform.
class UnattendedHost {
 public:
  virtual ~UnattendedHost() = default;
  virtual InstallServices Services() = 0;
  virtual int CurrentDriveNumber() = 0;
  // The opened, unbuffered log, or null.
  virtual std::FILE* OpenLog(const std::string& path) = 0;
  // Text in the ANSI code page, for standard output or standard error.
  virtual void WriteOutput(const std::string& text) = 0;
  virtual void WriteError(const std::string& text) = 0;
};

// Runs the whole unattended installation; returns the exit status.
int RunUnattended(const UnattendedOptions& options, UnattendedHost& host);

}  // namespace orvik
