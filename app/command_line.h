// orvik-install's command line: the Windows way of splitting it, its
// switches, and the usage text.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace orvik {

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
  bool uninstall = false;
  bool replace_at_restart = false;
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

}  // namespace orvik
