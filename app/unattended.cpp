#include "app/unattended.h"

#include <algorithm>
#include <cctype>

#include "engine/debug_log.h"
#include "engine/install_message.h"
#include "engine/result_codes.h"

namespace orvik {

const char kUnattendedUsage[] =
    "Usage: orvik-install [--source X:] [--language e|d|f|i] [--dest FOLDER]\n"
    "                     [--no-shortcut] [--log FILE] [--quiet]\n"
    "Installs Orvik from the CD without a dialog. Switches may also be written\n"
    "/source:X: /language:d /dest:FOLDER /no-shortcut /log:FILE /quiet, and\n"
    "--help or /? shows this text.\n"
    "Exit status: 0 installed; 1 usage error or log file not created;\n"
    "2 CD not found; 11 destination folder not created; 12 copy list not\n"
    "found or damaged; 13 file on the CD not readable; 14 file in the\n"
    "destination not created; 15 write failure (disk full); 16 out of memory.\n";

int ExitStatusForInstallResult(int result) {
  switch (result) {
    case kResultOk: return kExitSuccess;
    case kInstallDestFolderFailed: return kExitDestFolder;
    case kInstallCopyListFailed: return kExitCopyList;
    case kInstallSourceFileFailed: return kExitSourceFile;
    case kInstallDestFileFailed: return kExitDestFile;
    case kInstallWriteFailed: return kExitWrite;
    default: return kExitOutOfMemory;
  }
}

namespace {

constexpr int kDriveNumberToLetter = 64;

struct Switch {
  std::string name;               // lower case, without the prefix
  std::optional<std::string> value;  // given inline ("=x" or ":x")
};

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

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

bool ParseDrive(const std::string& value, char& drive) {
  const bool letter = value.size() >= 1 && value.size() <= 3 &&
                      std::isalpha(static_cast<unsigned char>(value[0])) &&
                      static_cast<unsigned char>(value[0]) < 0x80;
  if (!letter) return false;
  if (value.size() >= 2 && value[1] != ':') return false;
  if (value.size() == 3 && value[2] != '\\') return false;
  drive = value[0];
  return true;
}

bool ParseLanguage(const std::string& value, char& language) {
  const std::string lower = Lower(value);
  if (lower.size() != 1 || std::string("edfi").find(lower[0]) == std::string::npos)
    return false;
  language = lower[0];
  return true;
}

// A relative folder would depend on where the deployment tool happens to
// start us, and the shortcut would point nowhere: only "X:\..." and UNC
// paths are taken.
bool IsAbsoluteFolder(const std::string& folder) {
  const bool drive_rooted = folder.size() >= 3 &&
                            std::isalpha(static_cast<unsigned char>(folder[0])) &&
                            folder[1] == ':' && (folder[2] == '\\' || folder[2] == '/');
  const bool unc = folder.rfind("\\\\", 0) == 0;
  return drive_rooted || unc;
}

ParsedArguments Fail(std::string error) {
  ParsedArguments parsed;
  parsed.error = std::move(error);
  return parsed;
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
    if (std::find(seen.begin(), seen.end(), sw->name) != seen.end())
      return Fail("'" + args[i] + "' is given twice");
    seen.push_back(sw->name);

    const bool is_flag = sw->name == "no-shortcut" || sw->name == "quiet" ||
                         sw->name == "help";
    const bool takes_value = sw->name == "source" || sw->name == "language" ||
                             sw->name == "dest" || sw->name == "log";
    if (!is_flag && !takes_value) return Fail("unknown switch '" + args[i] + "'");
    if (is_flag) {
      if (sw->value) return Fail("'" + sw->name + "' takes no value");
      if (sw->name == "no-shortcut") parsed.options.create_shortcut = false;
      if (sw->name == "quiet") parsed.options.quiet = true;
      if (sw->name == "help") parsed.options.help = true;
      continue;
    }
    if (!sw->value) {
      if (i + 1 >= args.size()) return Fail("'" + sw->name + "' needs a value");
      sw->value = args[++i];
    }
    const std::string& value = *sw->value;
    if (sw->name == "source") {
      char drive = 0;
      if (!ParseDrive(value, drive)) return Fail("--source needs a drive letter such as D:");
      parsed.options.source_drive = drive;
    } else if (sw->name == "language") {
      if (!ParseLanguage(value, parsed.options.language))
        return Fail("--language must be e, d, f or i");
    } else if (value.empty()) {
      return Fail("'" + sw->name + "' needs a value");
    } else if (sw->name == "dest") {
      if (!IsAbsoluteFolder(value))
        return Fail("--dest needs a full path such as C:\\Programme\\Orvik");
      parsed.options.dest_folder = value;
    } else {
      parsed.options.log_file = value;
    }
  }
  parsed.ok = true;
  return parsed;
}

namespace {

// The log holds the same records that setup.exe writes, so one reader
// serves both.
class UnattendedLog {
 public:
  UnattendedLog(const UnattendedOptions& options, UnattendedHost& host) {
    if (options.log_file) g_pDebugLog = host.OpenLog(*options.log_file);
    WriteDebugLog("Entering dlg\n");
  }
  ~UnattendedLog() {
    if (g_pDebugLog == nullptr) return;
    WriteDebugLog("Exited install_dlg\n");
    std::fclose(g_pDebugLog);
    g_pDebugLog = nullptr;
  }
  UnattendedLog(const UnattendedLog&) = delete;
  UnattendedLog& operator=(const UnattendedLog&) = delete;
};

}  // namespace

int RunUnattended(const UnattendedOptions& options, UnattendedHost& host) {
  UnattendedLog log(options, host);
  // A log the administrator asked for and cannot have is worth stopping for.
  if (options.log_file && g_pDebugLog == nullptr) {
    host.WriteError("orvik-install: cannot create the log file " + *options.log_file + "\n");
    return kExitUsage;
  }

  InstallServices services = host.Services();
  int source_drive = options.source_drive
                         ? *options.source_drive
                         : host.CurrentDriveNumber() + kDriveNumberToLetter;
  std::string introduction;
  const bool found =
      options.source_drive
          ? LoadInstallMessage(services.files, *options.source_drive,
                               options.language, 0, 3, introduction) == kResultOk
          : FindIntroduction(services.files, services.drives, source_drive,
                             options.language, introduction);
  if (!found) {
    host.WriteError("orvik-install: the Orvik CD was not found (no message file for language '" +
                    std::string(1, options.language) + "')\n");
    return kExitCdNotFound;
  }

  InstallRequest request;
  request.source_drive = static_cast<char>(source_drive);
  request.language = options.language;
  request.dest_folder = options.dest_folder.value_or(DefaultDestFolder());
  request.create_shortcut = options.create_shortcut;
  std::string message;
  const int result = RunInstallation(services, request, message);
  if (!options.quiet) host.WriteOutput(message);
  return ExitStatusForInstallResult(result);
}

}  // namespace orvik
