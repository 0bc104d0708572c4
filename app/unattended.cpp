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
      HoldsMessageFile(services.files, first, options.language, LookupFolder::kSourceRoot,
                       introduction))
    return first;
  if (options.source) return std::nullopt;
  const auto drive = FindCdRomDrive(services.files, services.drives, options.language,
                                    LookupFolder::kSourceRoot, introduction);
  if (!drive) return std::nullopt;
  return CdDrive(*drive);
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

// One unattended installation, step by step; each step returns the exit
// status, kExitSuccess to go on.
class Installation {
 public:
  Installation(const UnattendedOptions& options, UnattendedHost& host, bool elevated,
               const std::optional<std::string>& receipt_copy)
      : options_(options),
        host_(host),
        services_(host.Services()),
        elevated_(elevated),
        receipt_copy_(receipt_copy),
        held_(host, services_.files) {}

  int Run() {
    for (int (Installation::*step)() :
         {&Installation::FindTheSource, &Installation::PrepareTheDestination,
          &Installation::WithdrawTheDetection, &Installation::Copy,
          &Installation::CopyTheUninstaller, &Installation::ListTheFiles,
          &Installation::WriteTheDetection}) {
      const int status = (this->*step)();
      if (status != kExitSuccess) return status;
    }
    return report_.copy.replaced_at_restart.empty() ? kExitSuccess : kExitRestartNeeded;
  }

 private:
  int Refuse(int status, const char* step, const std::string& file, const std::string& text) {
    LogStepFailed(step, file);
    host_.WriteError("orvik-install: " + text + "\n");
    return status;
  }

  int FindTheSource() {
    std::string tried;
    auto source = FindSource(options_, host_, tried);
    if (!source)
      return Refuse(kExitSourceAbsent, "find source", tried,
                    "the Orvik CD was not found in " + tried +
                        (options_.source ? "" : " nor in a CD-ROM drive") +
                        " (no message file for language '" +
                        std::string(1, options_.language) + "')");
    source->cd_drive_letter = CdDriveLetter(options_, *source, services_.drives);
    request_.source = *source;
    request_.language = options_.language;
    request_.dest_folder = options_.dest_folder.value_or(DefaultDestFolder());
    request_.shortcut = PlaceOf(options_.shortcut, host_.RunningAccount());
    request_.placement = Placement::kAllOrNothing;
    request_.digests = true;
    request_.replace_in_use_at_restart = elevated_ && options_.replace_at_restart;
    receipt_path_ = request_.dest_folder + "\\" + kReceiptName;
    earlier_path_ = request_.dest_folder + "\\" + kEarlierReceiptName;
    return kExitSuccess;
  }

  int PrepareTheDestination() {
    if (!elevated_) {
      CreateMissingFolders(request_.dest_folder, host_, services_.files);
      return kExitSuccess;
    }
    const Refusal refusal = held_.Prepare(request_.dest_folder);
    if (refusal.status == kExitSuccess) return kExitSuccess;
    return Refuse(refusal.status, "prepare the destination", refusal.folder,
                  refusal.folder + " " + refusal.reason);
  }

  // Until the run has succeeded there is no receipt and no registration:
  // a deployment tool that detects by either sees "not installed" after a
  // failure, and tries again. The earlier receipt steps aside, still
  // true of the folder, which a failed upgrade leaves as it was, for the
  // next run and for a removal.
  int WithdrawTheDetection() {
    FileSystem& files = services_.files;
    if (files.Exists(receipt_path_)) files.MoveReplacing(receipt_path_, earlier_path_);
    earlier_ = ReadReceipt(files, earlier_path_);
    for (const std::string& path : {receipt_path_, receipt_copy_.value_or(receipt_path_)}) {
      files.RemoveFile(path);
      if (files.Exists(path))
        return Refuse(kExitReceipt, "remove the earlier receipt", path,
                      "the earlier receipt " + path + " cannot be removed; nothing installed");
    }
    for (int version : {cd_format::kCurrentProductVersion, cd_format::kLegacyProductVersion})
      host_.Unregister(RegistrationKey(version), elevated_);
    return kExitSuccess;
  }

  int Copy() {
    report_ = RunInstallation(services_, request_);
    if (report_.copy.failed_step != CopyStep::kNone)
      LogStepFailed(CopyStepText(report_.copy.failed_step), report_.copy.failed_path);
    if (!report_.shortcut_not_made.empty()) LogStepFailed("shortcut", report_.shortcut_not_made);
    if (!options_.quiet) host_.WriteOutput(report_.copy.message);
    if (report_.copy.result != InstallResult::kOk) return ReportCopyFailure(report_.copy, host_);
    return kExitSuccess;
  }

  int CopyTheUninstaller() {
    const std::string target = request_.dest_folder + "\\" + kUninstallerName;
    if (InstallUninstaller(services_.files, host_.ModulePath(), request_.dest_folder))
      return kExitSuccess;
    return Refuse(kExitDestFile, "copy the uninstaller", target,
                  target + " cannot be written; no receipt");
  }

  int ListTheFiles() {
    receipt_.version = g_nProductVersion;
    receipt_.language = request_.language;
    receipt_.destination = request_.dest_folder;
    receipt_.source = request_.source.root;
    receipt_.installed_utc = host_.UtcTime();
    receipt_.shortcut = report_.shortcut;
    if (receipt_copy_ && !SamePath(*receipt_copy_, receipt_path_))
      receipt_.receipt_copy = *receipt_copy_;
    auto listed = ReceiptFiles(services_.files, report_.copy, request_.dest_folder, earlier_);
    if (!listed)
      return Refuse(kExitReceipt, "read the installed files", request_.dest_folder,
                    "the installed files in " + request_.dest_folder +
                        " cannot be read back; no receipt");
    receipt_.files = std::move(*listed);
    for (const ReceiptFile& file : receipt_.files) {
      bytes_ += file.size;
      WriteDebugLog("Installed %s (%llu bytes, sha256 %s)\n", file.name.c_str(),
                    static_cast<unsigned long long>(file.size), file.sha256.c_str());
    }
    for (const std::string& path : report_.copy.replaced_at_restart)
      WriteDebugLog("Replaced at the next restart: %s\n", path.c_str());
    return kExitSuccess;
  }

  // Last: a registration and a receipt say that everything before them
  // succeeded; the folder's own receipt last of all, as the removal reads it.
  int WriteTheDetection() {
    const std::string key = RegistrationKey(receipt_.version);
    if (!host_.Register(RegistrationOf(receipt_, bytes_), elevated_))
      return Refuse(kExitReceipt, "register", key,
                    "installed, but Windows' list of programs cannot be written; no receipt");
    const std::string text = FormatReceipt(receipt_);
    services_.files.RemoveFile(earlier_path_);
    for (const std::string& path : {receipt_.receipt_copy, receipt_path_}) {
      if (path.empty() || WriteFileInPlace(services_.files, path, text)) continue;
      host_.Unregister(key, elevated_);
      if (!receipt_.receipt_copy.empty()) services_.files.RemoveFile(receipt_.receipt_copy);
      return Refuse(kExitReceipt, "write receipt", path,
                    "installed, but the receipt " + path + " cannot be written");
    }
    return kExitSuccess;
  }

  const UnattendedOptions& options_;
  UnattendedHost& host_;
  InstallServices services_;
  const bool elevated_;
  const std::optional<std::string>& receipt_copy_;
  ElevatedDestination held_;  // held until the run ends
  InstallRequest request_;
  std::string receipt_path_;
  std::string earlier_path_;
  std::optional<Receipt> earlier_;
  InstallReport report_;
  Receipt receipt_;
  std::uint64_t bytes_ = 0;
};

int RunLockedAndLogged(const UnattendedOptions& options, UnattendedHost& host) {
  if (!host.TakeInstallLock()) {
    host.WriteError("orvik-install: another installation of Orvik is running\n");
    return kExitAlreadyRunning;
  }
  const auto log_file = Resolved(options.log_file, host);
  const auto receipt_file = Resolved(options.receipt_file, host);
  const bool elevated = host.RunningAccount() != Account::kUser;
  // Protected, so that no user can put something in the log's place
  // before a later run.
  if (log_file && elevated)
    CreateMissingFolders(FolderOf(*log_file), host, host.Services().files, true);
  UnattendedLog log(log_file, host);
  // A log the administrator asked for and cannot have is worth stopping for.
  if (log_file && !log.is_open()) {
    host.WriteError("orvik-install: cannot create the log file " + *log_file + "\n");
    return kExitLog;
  }
  int status;
  try {
    status = options.uninstall ? RemoveInstallation(options, host, elevated)
                               : Installation(options, host, elevated, receipt_file).Run();
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
