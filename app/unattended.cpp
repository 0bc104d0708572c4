#include "app/unattended.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <iterator>
#include <new>
#include <stdexcept>

#include "engine/ascii.h"
#include "engine/cd_format.h"
#include "engine/copy_engine.h"
#include "engine/copy_list.h"
#include "engine/debug_log.h"
#include "engine/install_message.h"
#include "engine/result_codes.h"

namespace orvik {

const ExitCodeRow kExitCodeTable[] = {
    {kExitSuccess, "ERROR_SUCCESS", "installed"},
    {kExitCopyListMissing, "ERROR_FILE_NOT_FOUND", "no copy list on the CD"},
    {kExitDestFolder, "ERROR_PATH_NOT_FOUND", "the destination folder cannot be created"},
    {kExitUntrustedDest, "ERROR_ACCESS_DENIED",
     "elevated, and the destination folder or one above it can be changed by other users; "
     "nothing done"},
    {kExitOutOfMemory, "ERROR_NOT_ENOUGH_MEMORY", "not enough memory"},
    {kExitCopyListDamaged, "ERROR_INVALID_DATA", "the copy list is damaged"},
    {kExitReceipt, "ERROR_WRITE_FAULT", "installed, but the receipt cannot be written"},
    {kExitSourceFile, "ERROR_READ_FAULT", "a file on the CD cannot be read"},
    {kExitDestFile, "ERROR_CANNOT_MAKE", "a file in the destination cannot be created"},
    {kExitUsage, "ERROR_INVALID_PARAMETER", "bad command line; nothing done"},
    {kExitLog, "ERROR_OPEN_FAILED", "the log file cannot be created; nothing done"},
    {kExitWrite, "ERROR_DISK_FULL", "writing a file failed (disk full)"},
    {kExitLinkedDest, "ERROR_STOPPED_ON_SYMLINK",
     "the destination folder or one above it is a link or junction; nothing done"},
    {kExitUnknownResult, "ERROR_INSTALL_FAILURE", "the installation failed otherwise"},
    {kExitSourceAbsent, "ERROR_INSTALL_SOURCE_ABSENT", "the CD or package folder was not found"},
    {kExitAlreadyRunning, "ERROR_INSTALL_ALREADY_RUNNING",
     "another orvik-install or setup.exe is running; nothing done"},
};
const std::size_t kExitCodeCount = sizeof kExitCodeTable / sizeof kExitCodeTable[0];

int ExitStatusForInstallResult(InstallResult result) {
  switch (result) {
    case InstallResult::kOk: return kExitSuccess;
    case InstallResult::kDestFolderFailed: return kExitDestFolder;
    case InstallResult::kCopyListFailed: return kExitCopyListMissing;
    case InstallResult::kSourceFileFailed: return kExitSourceFile;
    case InstallResult::kDestFileFailed: return kExitDestFile;
    case InstallResult::kWriteFailed: return kExitWrite;
    case InstallResult::kOutOfMemory: return kExitOutOfMemory;
  }
  return kExitUnknownResult;
}

std::string UnattendedUsage() {
  std::string usage =
      "Usage: orvik-install [--source E:|FOLDER|\\\\SERVER\\SHARE\\FOLDER] [--language en|de|fr|it]\n"
      "                     [--dest FOLDER] [--shortcut user|all-users|none]\n"
      "                     [--cd-drive X] [--log FILE] [--receipt FILE] [--quiet]\n"
      "Installs Orvik from the CD, or from a folder holding the CD's contents,\n"
      "without a dialog. Without --source: the folder orvik-install.exe is in,\n"
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
  if (value.empty() || value.size() > 3 || !IsAsciiLetter(value[0])) return std::nullopt;
  if (value.size() >= 2 && value[1] != ':') return std::nullopt;
  if (value.size() == 3 && value[2] != '\\' && value[2] != '/') return std::nullopt;
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

// Characters Windows refuses in a path, and a colon past the drive's.
bool HasForbiddenCharacter(const std::string& path) {
  for (std::size_t i = 0; i < path.size(); ++i) {
    if (path[i] == ':' ? i != 1 : IsForbiddenInFileName(path[i])) return true;
  }
  return false;
}

// A relative folder would depend on where the deployment tool happens to
// start us: only "X:\..." and "\\server\share..." are taken.
bool IsAbsolutePath(const std::string& path) {
  const bool drive_rooted = path.size() >= 3 && IsAsciiLetter(path[0]) &&
                            path[1] == ':' && (path[2] == '\\' || path[2] == '/');
  const bool unc = path.size() > 2 && path.rfind("\\\\", 0) == 0 &&
                   path.find_first_not_of('\\', 2) != std::string::npos;
  return drive_rooted || unc;
}

// "C:\Program Files\Orvik\" names the same folder as without the
// backslash, which would otherwise be doubled in every path made from it.
std::string WithoutTrailingSeparators(std::string path) {
  while (path.size() > 3 && (path.back() == '\\' || path.back() == '/')) path.pop_back();
  return path;
}

ParsedArguments Fail(std::string error) {
  ParsedArguments parsed;
  parsed.error = std::move(error);
  return parsed;
}

const char* const kFlags[] = {"no-shortcut", "quiet", "help"};
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
  if (HasForbiddenCharacter(value))
    return "--" + name + " holds a character Windows does not allow in a path: " + value;
  if (name == "source") {
    if (const auto drive = DriveOf(value)) {
      options.source = std::string(1, *drive) + ":";
      return "";
    }
    if (!IsAbsolutePath(value))
      return "--source needs a drive (E:) or a full path (C:\\pkg\\Orvik, \\\\server\\share\\Orvik)";
    options.source = WithoutTrailingSeparators(value);
    return "";
  }
  if (name == "dest") {
    if (!IsAbsolutePath(value))
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

namespace {

// The log holds the same records that setup.exe writes, so one reader
// serves both, and a "Step failed" line for each step of our own that did.
class UnattendedLog {
 public:
  UnattendedLog(const std::optional<std::string>& path, UnattendedHost& host)
      : session_(path ? host.OpenLog(*path) : nullptr) {
    WriteDebugLog("Entering dlg\n");
  }
  ~UnattendedLog() { WriteDebugLog("Exited install_dlg\n"); }
  UnattendedLog(const UnattendedLog&) = delete;
  UnattendedLog& operator=(const UnattendedLog&) = delete;

  bool is_open() const { return session_.is_open(); }

 private:
  DebugLogSession session_;
};

void LogStepFailed(const char* step, const std::string& file) {
  WriteDebugLog("Step failed: %s '%s'\n", step, file.c_str());
}


bool IsDriveSource(const CdSource& source) { return !source.root.empty() && !source.IsFolder(); }

// The message file reader tries the current folder first: it must be the
// source's own, or a file outside the source would be read.
bool HoldsTheCd(InstallServices services, const CdSource& source, char language,
                std::string& introduction) {
  const std::string root = IsDriveSource(source) ? source.root + "\\" : source.root;
  if (!services.files.SetCurrentFolder(root)) return false;
  return LoadIntroduction(services.files, source, language, introduction);
}

// In letter order, lower case, as the dialog's search finds them.
std::vector<char> CdRomDrives(Drives& drives) {
  std::vector<char> letters;
  for (char letter = 'a'; letter <= 'z'; ++letter)
    if (drives.IsCdRom(letter)) letters.push_back(letter);
  return letters;
}

// The named source only; else the folder of the program, then the CD-ROM
// drives in letter order.
std::optional<CdSource> FindSource(const UnattendedOptions& options,
                                   UnattendedHost& host, std::string& tried) {
  InstallServices services = host.Services();
  std::string introduction;
  CdSource first = CdFolder(options.source ? *options.source : host.ModuleFolder());
  if (first.IsFolder()) first = CdFolder(host.FullPath(first.root));
  tried = first.root;
  if (!first.root.empty() &&
      HoldsTheCd(services, first, options.language, introduction))
    return first;
  if (options.source) return std::nullopt;
  for (char letter : CdRomDrives(services.drives)) {
    const CdSource drive = CdDrive(letter);
    if (HoldsTheCd(services, drive, options.language, introduction)) return drive;
  }
  return std::nullopt;
}

// The drive the product will look for its CD in.
char CdDriveLetter(const UnattendedOptions& options, const CdSource& source,
                   Drives& drives) {
  if (options.cd_drive) return *options.cd_drive;
  if (IsDriveSource(source) &&
      drives.IsCdRom(AsciiLower(source.root[0])))
    return source.root[0];
  const std::vector<char> cd_roms = CdRomDrives(drives);
  if (!cd_roms.empty()) return cd_roms.front();
  // In upper case, as the copy engine gives the current drive's.
  if (source.root.size() >= 2 && source.root[1] == ':')
    return AsciiUpper(source.root[0]);
  return cd_format::kNoDriveLetter;  // a share, on a machine without a CD-ROM drive
}

enum class ListState { kMissing, kDamaged, kRead };

// The copy list the engine reads, with its fallbacks to the English and
// the language-free list: for the receipt's count, and to tell a damaged
// list from a missing one.
ListState ReadInstalledCopyList(FileSystem& files, const CdSource& source,
                                char language, CopyList& list) {
  for (char letter : cd_format::CopyListLetters(language)) {
    auto file = files.OpenForReading(source.PathOf(cd_format::CopyListOnSource(letter)));
    if (!file) continue;
    const bool read = ParseCopyList(*file, list) == CopyListStatus::kOk;
    file->Close();
    return read ? ListState::kRead : ListState::kDamaged;
  }
  return ListState::kMissing;
}

std::size_t CopiedEntries(const CopyList& list) {
  std::size_t count = 0;
  for (std::size_t i = 0; i < list.entries.size(); ++i)
    if (!IsCheckOnlyPosition(i)) ++count;
  return count;
}

// The folders from the volume's root down to `dest`: "C:\", "C:\Vendor",
// "C:\Vendor\Orvik"; for a share, from "\\server\share".
std::vector<std::string> FoldersDownTo(const std::string& dest) {
  std::size_t root_end = 3;  // "C:\"
  if (dest.rfind("\\\\", 0) == 0) {
    const std::size_t share = dest.find_first_of("\\/", dest.find_first_of("\\/", 2) + 1);
    root_end = share == std::string::npos ? dest.size() : share;
  }
  std::vector<std::string> folders{dest.substr(0, root_end)};
  for (std::size_t at = root_end; at < dest.size(); ++at) {
    const std::size_t cut = dest.find_first_of("\\/", at);
    if (cut == std::string::npos) break;
    if (cut > at) folders.push_back(dest.substr(0, cut));
    at = cut;
  }
  if (folders.back() != dest && dest.size() > root_end) folders.push_back(dest);
  return folders;
}

// Why an elevated run cannot install into the destination; 0 when it can.
struct Refusal {
  int status = kExitSuccess;
  std::string folder;
  std::string reason;
};

// An elevated run holds every folder from the root down to the
// destination open until it ends, so none can be renamed or replaced by a
// link under it, and accepts only folders that administrators alone can
// change; the missing ones it makes itself, protected. A user who could
// rename a folder on the way, or who made the destination beforehand,
// could otherwise send the files, or a planted DLL, wherever he likes.
class ElevatedDestination {
 public:
  ElevatedDestination(UnattendedHost& host, FileSystem& files)
      : host_(host), files_(files) {}

  Refusal Prepare(const std::string& dest) {
    bool created = false;
    const std::vector<std::string> folders = FoldersDownTo(dest);
    for (const std::string& folder : folders) {
      auto held = files_.HoldFolder(folder);
      if (held->state() == FolderState::kMissing) {
        // No such drive or share: the engine reports it as it always has.
        if (folder == folders.front()) return {};
        if (!host_.CreateFolder(folder, true))
          return {kExitDestFolder, folder, "cannot be created with the protected access list"};
        created = true;
        held = files_.HoldFolder(folder);
        if (held->state() != FolderState::kFolder)
          return {kExitDestFolder, folder, "was replaced right after it was created"};
      }
      switch (held->state()) {
        case FolderState::kLink:
          return {kExitLinkedDest, folder, "is a symbolic link or junction; not installing through it"};
        case FolderState::kNotHeld:
          return {kExitDestFolder, folder, "cannot be held open for the installation"};
        case FolderState::kNotAFolder:
        case FolderState::kMissing:
          // A file in the way: the engine reports it as it always has.
          return {};
        case FolderState::kFolder:
          break;
      }
      if (!created && !host_.OnlyAdministratorsCanChange(folder, folder == dest))
        return {kExitUntrustedDest, folder,
                "can be changed by users other than administrators; not installing into it"};
      held_.push_back(std::move(held));
    }
    return {};
  }

 private:
  UnattendedHost& host_;
  FileSystem& files_;
  std::vector<std::unique_ptr<HeldFolder>> held_;
};

// Every missing folder down to the destination. A folder that cannot be
// made is left to the engine, which reports it.
void CreateMissingFolders(const std::string& dest, UnattendedHost& host, FileSystem& files) {
  const std::vector<std::string> folders = FoldersDownTo(dest);
  for (std::size_t i = 1; i < folders.size(); ++i) {
    const std::string& folder = folders[i];
    if (files.HoldFolder(folder)->state() != FolderState::kMissing) continue;
    if (!host.CreateFolder(folder, false)) {
      LogStepFailed("create folder", folder);
      return;
    }
  }
}

// The folders of an elevated run's log that do not exist yet, protected,
// so that no user can put something in the log's place before a later run.
void CreateLogFolders(const std::string& log_file, UnattendedHost& host, FileSystem& files) {
  const auto cut = log_file.find_last_of("\\/");
  if (cut == std::string::npos || cut < 3) return;
  const std::vector<std::string> folders = FoldersDownTo(log_file.substr(0, cut));
  for (std::size_t i = 1; i < folders.size(); ++i) {
    if (files.HoldFolder(folders[i])->state() != FolderState::kMissing) continue;
    if (!host.CreateFolder(folders[i], true)) return;  // the log's opening reports it
  }
}

std::string Receipt(const InstallRequest& request, std::size_t files,
                    const std::string& time) {
  return "[Orvik]\n"
         "ProductVersion=" + std::to_string(g_nProductVersion) + ".0\n" +
         "Language=" + std::string(1, request.language) + "\n" +
         "Destination=" + request.dest_folder + "\n" +
         "Source=" + request.source.root + "\n" +
         "Files=" + std::to_string(files) + "\n" +
         "InstalledUtc=" + time + "\n";
}

std::optional<ShortcutPlace> PlaceOf(std::optional<ShortcutChoice> choice, Account account) {
  switch (choice.value_or(account == Account::kSystem ? ShortcutChoice::kAllUsers
                                                       : ShortcutChoice::kUser)) {
    case ShortcutChoice::kUser: return ShortcutPlace::kUserDesktop;
    case ShortcutChoice::kAllUsers: return ShortcutPlace::kAllUsersDesktop;
    case ShortcutChoice::kNone: return std::nullopt;
  }
  return std::nullopt;
}

// The paths given relative to the folder we were started in, resolved
// before the source becomes the current folder.
std::optional<std::string> Resolved(const std::optional<std::string>& path,
                                    UnattendedHost& host) {
  if (!path) return std::nullopt;
  const std::string full = host.FullPath(*path);
  return full.empty() ? *path : full;
}

int RunInstallationUnattended(const UnattendedOptions& options, UnattendedHost& host) {
  if (!host.TakeInstallLock()) {
    host.WriteError("orvik-install: another installation of Orvik is running\n");
    return kExitAlreadyRunning;
  }
  const auto log_file = Resolved(options.log_file, host);
  const auto receipt_file = Resolved(options.receipt_file, host);
  const Account account = host.RunningAccount();
  const bool elevated = account != Account::kUser;
  InstallServices services = host.Services();
  if (log_file && elevated) CreateLogFolders(*log_file, host, services.files);
  UnattendedLog log(log_file, host);
  // A log the administrator asked for and cannot have is worth stopping for.
  if (log_file && !log.is_open()) {
    host.WriteError("orvik-install: cannot create the log file " + *log_file + "\n");
    return kExitLog;
  }

  std::string tried;
  auto source = FindSource(options, host, tried);
  if (!source) {
    LogStepFailed("find source", tried);
    host.WriteError("orvik-install: the Orvik CD was not found in " + tried +
                    (options.source ? "" : " nor in a CD-ROM drive") +
                    " (no message file for language '" +
                    std::string(1, options.language) + "')\n");
    return kExitSourceAbsent;
  }
  source->cd_drive_letter = CdDriveLetter(options, *source, services.drives);

  InstallRequest request;
  request.source = *source;
  request.language = options.language;
  request.dest_folder = options.dest_folder.value_or(DefaultDestFolder());
  request.shortcut = PlaceOf(options.shortcut, account);
  ElevatedDestination held(host, services.files);
  if (elevated) {
    const Refusal refusal = held.Prepare(request.dest_folder);
    if (refusal.status != kExitSuccess) {
      LogStepFailed("prepare the destination", refusal.folder);
      host.WriteError("orvik-install: " + refusal.folder + " " + refusal.reason + "\n");
      return refusal.status;
    }
  } else {
    CreateMissingFolders(request.dest_folder, host, services.files);
  }

  std::string message;
  InstallProblems problems;
  const InstallResult result = RunInstallation(services, request, message, &problems);
  if (!problems.copy.step.empty())
    LogStepFailed(problems.copy.step.c_str(), problems.copy.path);
  if (!problems.shortcut_not_made.empty())
    LogStepFailed("shortcut", problems.shortcut_not_made);
  if (!options.quiet) host.WriteOutput(message);
  CopyList list;
  const ListState list_state =
      ReadInstalledCopyList(services.files, request.source, request.language, list);
  if (result == InstallResult::kCopyListFailed && list_state == ListState::kDamaged)
    return kExitCopyListDamaged;
  if (result != InstallResult::kOk) return ExitStatusForInstallResult(result);

  // Last: a receipt on disk says that everything before it succeeded.
  if (receipt_file &&
      !host.ReplaceFile(*receipt_file, Receipt(request, CopiedEntries(list), host.UtcTime()))) {
    LogStepFailed("write receipt", *receipt_file);
    host.WriteError("orvik-install: installed, but the receipt " + *receipt_file +
                    " cannot be written\n");
    return kExitReceipt;
  }
  return kExitSuccess;
}

}  // namespace

// Memory can run out outside the engine too (a long path, the log, the
// receipt); the deployment console must then read 8, not whatever the
// runtime's abort would give. The standard streams need no memory of
// their own for a fixed text.
int RunUnattended(const UnattendedOptions& options, UnattendedHost& host) {
  try {
    return RunInstallationUnattended(options, host);
  } catch (const std::bad_alloc&) {
    std::fputs("orvik-install: not enough memory\n", stderr);
    return kExitOutOfMemory;
  } catch (const std::exception&) {
    std::fputs("orvik-install: the installation failed unexpectedly\n", stderr);
    return kExitUnknownResult;
  }
}

}  // namespace orvik
