#include "app/command_line.h"

#include <algorithm>
#include <cctype>
#include <iterator>

#include "app/exit_status.h"
#include "engine/ascii.h"
#include "engine/windows_path.h"

namespace orvik {

std::string UnattendedUsage() {
  std::string usage =
      "Usage: orvik-install [--source E:|FOLDER|\\\\SERVER\\SHARE\\FOLDER] [--language en|de|fr|it]\n"
      "                     [--dest FOLDER] [--shortcut user|all-users|none]\n"
      "                     [--cd-drive X] [--log FILE] [--receipt FILE] [--quiet]\n"
      "                     [--replace-at-restart]\n"
      "       orvik-install --uninstall [--dest FOLDER] [--log FILE] [--quiet]\n"
      "Installs Orvik from the CD, or from a folder holding the CD's contents,\n"
      "without a dialog, or removes what an installation put there. Without\n"
      "--source: the folder orvik-install.exe is in,\n"
      "then the CD-ROM drives. Languages: en de fr it, or e d f i. --no-shortcut\n"
      "is --shortcut none; as SYSTEM the shortcut goes to the common desktop.\n"
      "Switches may also be written /source:E: /dest:FOLDER /quiet; --help or /?\n"
      "shows this text.\n"
      "Exit status:\n";
  for (std::size_t i = 0; i < kExitCodeCount; ++i) {
    const std::string status = std::to_string(kExitCodeTable[i].status);
    usage += "  " + std::string(6 - std::min<std::size_t>(status.size(), 5), ' ') +
             status + "  " + kExitCodeTable[i].meaning + "\n";
  }
  return usage;
}

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string Lower(std::string text) { return AsciiLowered(std::move(text)); }

}  // namespace

std::vector<std::string> SplitCommandLine(const std::string& command_line) {
  std::size_t at = 0;
  const std::size_t size = command_line.size();
  while (at < size && IsBlank(command_line[at])) ++at;
  // The program's name: quoted, or up to the first blank.
  if (at < size && command_line[at] == '"') {
    const std::size_t close = command_line.find('"', at + 1);
    at = close == std::string::npos ? size : close + 1;
  }
  while (at < size && !IsBlank(command_line[at])) ++at;

  std::vector<std::string> args;
  for (;;) {
    while (at < size && IsBlank(command_line[at])) ++at;
    if (at == size) return args;
    std::string arg;
    bool quoted = false;
    for (; at < size && (quoted || !IsBlank(command_line[at])); ++at) {
      if (command_line[at] == '"')
        quoted = !quoted;
      else
        arg += command_line[at];
    }
    args.push_back(std::move(arg));
  }
}

namespace {

struct Switch {
  std::string name;                  // lower case, without the prefix
  std::optional<std::string> value;  // given inline ("=x" or ":x")
};

// "--name[=value]" or "/name[:value]"; nothing for a non-switch.
std::optional<Switch> SplitSwitch(const std::string& arg) {
  std::string body;
  char separator;
  if (arg.rfind("--", 0) == 0) {
    body = arg.substr(2);
    separator = '=';
  } else if (arg.size() > 1 && arg[0] == '/') {
    body = arg.substr(1);
    separator = ':';
  } else {
    return std::nullopt;
  }
  Switch parsed;
  const auto split = body.find(separator);
  parsed.name = Lower(body.substr(0, split));
  if (split != std::string::npos) parsed.value = body.substr(split + 1);
  return parsed;
}

// "E", "E:" or "E:\".
std::optional<char> DriveOf(const std::string& value) {
  const bool drive = value.size() == 1 || IsBareDrive(value) || IsDriveRoot(value);
  if (!drive || !IsAsciiLetter(value[0])) return std::nullopt;
  return value[0];
}

bool ParseLanguage(const std::string& value, char& language) {
  static const char* const kNames[][2] = {
      {"e", "en"}, {"d", "de"}, {"f", "fr"}, {"i", "it"}};
  const std::string lower = Lower(value);
  for (const auto& name : kNames) {
    if (lower == name[0] || lower == name[1]) {
      language = name[0][0];
      return true;
    }
  }
  return false;
}

ParsedArguments Fail(std::string error) {
  ParsedArguments parsed;
  parsed.error = std::move(error);
  return parsed;
}

const char* const kFlags[] = {"no-shortcut", "quiet", "help", "uninstall",
                              "replace-at-restart"};
const char* const kValued[] = {"source", "language", "dest", "shortcut",
                               "cd-drive", "log", "receipt"};

bool Among(const std::string& name, const char* const* names, std::size_t count) {
  return std::find(names, names + count, name) != names + count;
}

// The name under which a repetition is caught: --no-shortcut and
// --shortcut set the same thing.
std::string Setting(const std::string& name) {
  return name == "no-shortcut" ? "shortcut" : name;
}

// Takes `value` for `name`; the error text, or empty when it is taken.
std::string TakeValue(const std::string& name, const std::string& value,
                      UnattendedOptions& options) {
  if (name == "language")
    return ParseLanguage(value, options.language) ? ""
                                                  : "--language must be en, de, fr, it or e, d, f, i";
  if (name == "cd-drive") {
    const auto drive = DriveOf(value);
    if (!drive) return "--cd-drive needs a drive letter such as E";
    options.cd_drive = *drive;
    return "";
  }
  if (name == "shortcut") {
    const std::string lower = Lower(value);
    if (lower == "user") options.shortcut = ShortcutChoice::kUser;
    else if (lower == "all-users") options.shortcut = ShortcutChoice::kAllUsers;
    else if (lower == "none") options.shortcut = ShortcutChoice::kNone;
    else return "--shortcut must be user, all-users or none";
    return "";
  }
  if (value.empty()) return "--" + name + " needs a value";
  if (PathHasForbiddenCharacter(value))
    return "--" + name + " holds a character Windows does not allow in a path: " + value;
  if (name == "source") {
    if (const auto drive = DriveOf(value)) {
      options.source = std::string(1, *drive) + ":";
      return "";
    }
    if (!IsFullPath(value))
      return "--source needs a drive (E:) or a full path (C:\\pkg\\Orvik, \\\\server\\share\\Orvik)";
    options.source = WithoutTrailingSeparators(value);
    return "";
  }
  if (name == "dest") {
    if (!IsFullPath(value))
      return "--dest needs a full path such as \"C:\\Program Files\\Orvik\"";
    options.dest_folder = WithoutTrailingSeparators(value);
    return "";
  }
  (name == "log" ? options.log_file : options.receipt_file) = value;
  return "";
}

}  // namespace

ParsedArguments ParseUnattendedArguments(const std::vector<std::string>& args) {
  ParsedArguments parsed;
  std::vector<std::string> seen;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "/?" || args[i] == "-?") {
      parsed.options.help = true;
      continue;
    }
    auto sw = SplitSwitch(args[i]);
    if (!sw || sw->name.empty()) return Fail("unexpected argument '" + args[i] + "'");
    const bool is_flag = Among(sw->name, kFlags, std::size(kFlags));
    if (!is_flag && !Among(sw->name, kValued, std::size(kValued)))
      return Fail("unknown switch '" + args[i] + "'");
    if (std::find(seen.begin(), seen.end(), Setting(sw->name)) != seen.end())
      return Fail("'" + args[i] + "' repeats a setting given before");
    seen.push_back(Setting(sw->name));

    if (is_flag) {
      if (sw->value) return Fail("'--" + sw->name + "' takes no value");
      if (sw->name == "no-shortcut") parsed.options.shortcut = ShortcutChoice::kNone;
      if (sw->name == "quiet") parsed.options.quiet = true;
      if (sw->name == "help") parsed.options.help = true;
      if (sw->name == "uninstall") parsed.options.uninstall = true;
      if (sw->name == "replace-at-restart") parsed.options.replace_at_restart = true;
      continue;
    }
    if (!sw->value) {
      if (i + 1 >= args.size()) return Fail("'--" + sw->name + "' needs a value");
      sw->value = args[++i];
    }
    const std::string error = TakeValue(sw->name, *sw->value, parsed.options);
    if (!error.empty()) return Fail(error);
  }
  parsed.ok = true;
  return parsed;
}

}  // namespace orvik
