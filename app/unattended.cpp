#include "app/unattended.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <iterator>
#include <new>
#include <stdexcept>

#include "app/fleet_log.h"
#include "app/guarded_folders.h"
#include "app/receipt.h"
#include "app/removal.h"
#include "engine/ascii.h"
#include "engine/cd_format.h"
#include "engine/copy_engine.h"
#include "engine/debug_log.h"
#include "engine/install_message.h"
#include "engine/result_codes.h"
#include "engine/temporary_file.h"
#include "engine/windows_path.h"

namespace orvik {

namespace {

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
  if (StartsWithDrive(source.root))
    return AsciiUpper(source.root[0]);
  return cd_format::kNoDriveLetter;  // a share, on a machine without a CD-ROM drive
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

unsigned LanguageId(char language) {
  switch (language) {
    case 'd': return 1031;
    case 'f': return 1036;
    case 'i': return 1040;
    default: return 1033;
  }
}

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

Registration RegistrationOf(const Receipt& receipt, std::uint64_t bytes) {
  Registration entry;
  entry.key = RegistrationKey(receipt.version);
  entry.display_name = "Orvik " + std::to_string(receipt.version) + ".0";
  entry.display_version = std::to_string(receipt.version) + ".0";
  entry.publisher = "Ostmarrow";
  entry.install_location = receipt.destination;
  entry.install_date = receipt.installed_utc.substr(0, 4) + receipt.installed_utc.substr(5, 2) +
                       receipt.installed_utc.substr(8, 2);
  entry.estimated_size_kb = static_cast<unsigned>((bytes + 1023) / 1024);
  entry.language_id = LanguageId(receipt.language);
  entry.display_icon =
      receipt.destination + "\\" + cd_format::ProgramName(receipt.version);
  const std::string command = Quoted(receipt.destination + "\\" + kUninstallerName) +
                              " --uninstall --dest " + Quoted(receipt.destination);
  entry.uninstall_string = command;
  entry.quiet_uninstall_string = command + " --quiet";
  return entry;
}

// A copy of this program beside the product, so that the registration's
// uninstall command works without the CD.
bool InstallUninstaller(FileSystem& files, const std::string& program,
                        const std::string& dest) {
  const std::string target = dest + "\\" + kUninstallerName;
  if (SamePath(program, target)) return true;  // a repair run from the copy itself
  return CopyFileInPlace(files, program, target);
}

// An earlier installation's files that this one did not replace (another
// language's help, say) stay the installation's while they are unchanged,
// so the removal takes them too.
std::optional<std::vector<ReceiptFile>> ReceiptFiles(FileSystem& files, const CopyReport& copy,
                                                     const std::string& dest,
                                                     const std::optional<Receipt>& earlier) {
  std::vector<ReceiptFile> listed;
  for (const InstalledFile& file : copy.files) {
    if (!file.kept) {
      listed.push_back({file.name, file.size, file.sha256});
      continue;
    }
    auto now = DigestOf(files, dest, file.name);
    if (now) listed.push_back(std::move(*now));
  }
  auto uninstaller = DigestOf(files, dest, kUninstallerName);
  if (!uninstaller) return std::nullopt;
  listed.push_back(std::move(*uninstaller));
  if (!earlier) return listed;
  for (const ReceiptFile& file : earlier->files) {
    const bool listed_now = std::any_of(listed.begin(), listed.end(), [&](const ReceiptFile& f) {
      return SamePath(f.name, file.name);
    });
    if (listed_now) continue;
    const auto now = DigestOf(files, dest, file.name);
    if (now && now->size == file.size && now->sha256 == file.sha256) listed.push_back(*now);
  }
  return listed;
}

int ReportCopyFailure(const CopyReport& copy, UnattendedHost& host) {
  if (copy.failed_step == CopyStep::kFileInUse) {
    const std::string programs = host.ProgramsUsing(copy.failed_path);
    host.WriteError("orvik-install: " + copy.failed_path + " is in use" +
                    (programs.empty() ? "" : " by " + programs) +
                    "; close Orvik and try again (nothing was changed)\n");
    return kExitInUse;
  }
  const int status = copy.failed_step == CopyStep::kReadCopyList
                         ? kExitCopyListDamaged
                         : ExitStatusForInstallResult(copy.result);
  host.WriteError("orvik-install: " + std::string(CopyStepText(copy.failed_step)) +
                  (copy.failed_path.empty() ? "" : " " + copy.failed_path) + ": failed (" +
                  ExitStatusName(status) + ")\n");
  return status;
}

int InstallUnattended(const UnattendedOptions& options, UnattendedHost& host, bool elevated,
                      const std::optional<std::string>& receipt_copy) {
  InstallServices services = host.Services();
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
  request.shortcut = PlaceOf(options.shortcut, host.RunningAccount());
  request.placement = Placement::kAllOrNothing;
  request.digests = true;
  request.replace_in_use_at_restart = elevated && options.replace_at_restart;
  const std::string& dest = request.dest_folder;
  ElevatedDestination held(host, services.files);
  if (elevated) {
    const Refusal refusal = held.Prepare(dest);
    if (refusal.status != kExitSuccess) {
      LogStepFailed("prepare the destination", refusal.folder);
      host.WriteError("orvik-install: " + refusal.folder + " " + refusal.reason + "\n");
      return refusal.status;
    }
  } else {
    CreateMissingFolders(dest, host, services.files);
  }

  // Until the run has succeeded there is no receipt and no registration:
  // a deployment tool that detects by either sees "not installed" after a
  // failure, and tries again. The earlier receipt steps aside, still
  // true of the folder, which a failed upgrade leaves as it was, for the
  // next run and for a removal.
  const std::string receipt_path = dest + "\\" + kReceiptName;
  const std::string earlier_path = dest + "\\" + kEarlierReceiptName;
  if (services.files.Exists(receipt_path))
    services.files.MoveReplacing(receipt_path, earlier_path);
  const std::optional<Receipt> earlier = ReadReceipt(services.files, earlier_path);
  for (const std::string& path : {receipt_path, receipt_copy.value_or(receipt_path)}) {
    services.files.RemoveFile(path);
    if (services.files.Exists(path)) {
      LogStepFailed("remove the earlier receipt", path);
      host.WriteError("orvik-install: the earlier receipt " + path +
                      " cannot be removed; nothing installed\n");
      return kExitReceipt;
    }
  }
  for (int version : {cd_format::kCurrentProductVersion, cd_format::kLegacyProductVersion})
    host.Unregister(RegistrationKey(version), elevated);

  const InstallReport report = RunInstallation(services, request);
  if (report.copy.failed_step != CopyStep::kNone)
    LogStepFailed(CopyStepText(report.copy.failed_step), report.copy.failed_path);
  if (!report.shortcut_not_made.empty())
    LogStepFailed("shortcut", report.shortcut_not_made);
  if (!options.quiet) host.WriteOutput(report.copy.message);
  if (report.copy.result != InstallResult::kOk) return ReportCopyFailure(report.copy, host);

  if (!InstallUninstaller(services.files, host.ModulePath(), dest)) {
    LogStepFailed("copy the uninstaller", dest + "\\" + kUninstallerName);
    host.WriteError("orvik-install: " + dest + "\\" + kUninstallerName +
                    " cannot be written; no receipt\n");
    return kExitDestFile;
  }
  Receipt receipt;
  receipt.version = g_nProductVersion;
  receipt.language = request.language;
  receipt.destination = dest;
  receipt.source = request.source.root;
  receipt.installed_utc = host.UtcTime();
  receipt.shortcut = report.shortcut;
  if (receipt_copy && !SamePath(*receipt_copy, receipt_path)) receipt.receipt_copy = *receipt_copy;
  auto listed = ReceiptFiles(services.files, report.copy, dest, earlier);
  if (!listed) {
    LogStepFailed("read the installed files", dest);
    host.WriteError("orvik-install: the installed files in " + dest +
                    " cannot be read back; no receipt\n");
    return kExitReceipt;
  }
  receipt.files = std::move(*listed);
  std::uint64_t bytes = 0;
  for (const ReceiptFile& file : receipt.files) {
    bytes += file.size;
    WriteDebugLog("Installed %s (%llu bytes, sha256 %s)\n", file.name.c_str(),
                  static_cast<unsigned long long>(file.size), file.sha256.c_str());
  }
  for (const std::string& path : report.copy.replaced_at_restart)
    WriteDebugLog("Replaced at the next restart: %s\n", path.c_str());

  // Last: a receipt and a registration say that everything before them succeeded.
  if (!host.Register(RegistrationOf(receipt, bytes), elevated)) {
    LogStepFailed("register", RegistrationKey(receipt.version));
    host.WriteError("orvik-install: installed, but Windows' list of programs cannot be "
                    "written; no receipt\n");
    return kExitReceipt;
  }
  const std::string text = FormatReceipt(receipt);
  services.files.RemoveFile(earlier_path);
  // The folder's own receipt last: it is what the removal reads.
  for (const std::string& path : {receipt.receipt_copy, receipt_path}) {
    if (path.empty() || WriteFileInPlace(services.files, path, text)) continue;
    LogStepFailed("write receipt", path);
    host.WriteError("orvik-install: installed, but the receipt " + path +
                    " cannot be written\n");
    host.Unregister(RegistrationKey(receipt.version), elevated);
    return kExitReceipt;
  }
  return report.copy.replaced_at_restart.empty() ? kExitSuccess : kExitRestartNeeded;
}

int RunLockedAndLogged(const UnattendedOptions& options, UnattendedHost& host) {
  if (!host.TakeInstallLock()) {
    host.WriteError("orvik-install: another installation of Orvik is running\n");
    return kExitAlreadyRunning;
  }
  const auto log_file = Resolved(options.log_file, host);
  const auto receipt_file = Resolved(options.receipt_file, host);
  const bool elevated = host.RunningAccount() != Account::kUser;
  if (log_file && elevated) CreateLogFolders(*log_file, host, host.Services().files);
  UnattendedLog log(log_file, host);
  // A log the administrator asked for and cannot have is worth stopping for.
  if (log_file && !log.is_open()) {
    host.WriteError("orvik-install: cannot create the log file " + *log_file + "\n");
    return kExitLog;
  }
  int status;
  try {
    status = options.uninstall ? RemoveInstallation(options, host, elevated)
                               : InstallUnattended(options, host, elevated, receipt_file);
  } catch (const std::bad_alloc&) {
    std::fputs("orvik-install: not enough memory\n", stderr);
    status = kExitOutOfMemory;
  }
  log.Finish(status);
  return status;
}

}  // namespace

// Memory can run out outside the engine too (a long path, the log, the
// receipt); the deployment console must then read 8, not whatever the
// runtime's abort would give. The standard streams need no memory of
// their own for a fixed text.
int RunUnattended(const UnattendedOptions& options, UnattendedHost& host) {
  try {
    return RunLockedAndLogged(options, host);
  } catch (const std::bad_alloc&) {
    std::fputs("orvik-install: not enough memory\n", stderr);
    return kExitOutOfMemory;
  } catch (const std::exception&) {
    std::fputs("orvik-install: the installation failed unexpectedly\n", stderr);
    return kExitUnknownResult;
  }
}

}  // namespace orvik
