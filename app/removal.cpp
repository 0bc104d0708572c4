#include "app/removal.h"

#include <algorithm>
#include <memory>

#include "app/fleet_log.h"
#include "app/guarded_folders.h"
#include "app/receipt.h"
#include "engine/ascii.h"
#include "engine/cd_format.h"
#include "engine/debug_log.h"
#include "engine/windows_path.h"

namespace orvik {

namespace {

bool EndsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() &&
         AsciiLowered(text.substr(text.size() - end.size())) == end;
}

// The folder named on the command line, else the registered one: the
// machine's entry first when elevated, the user's first otherwise.
std::optional<std::string> FolderToRemove(const UnattendedOptions& options,
                                          UnattendedHost& host, bool elevated) {
  if (options.dest_folder) return options.dest_folder;
  for (bool machine : {elevated, !elevated})
    for (int version : {cd_format::kCurrentProductVersion, cd_format::kLegacyProductVersion})
      if (auto folder = host.RegisteredFolder(RegistrationKey(version), machine)) return folder;
  return std::nullopt;
}

int NothingInstalled(const UnattendedOptions& options, UnattendedHost& host,
                     const std::string& where) {
  WriteDebugLog("Nothing to remove%s%s\n", where.empty() ? "" : " in ", where.c_str());
  if (!options.quiet)
    host.WriteOutput("Orvik is not installed" + (where.empty() ? "" : " in " + where) +
                     "; nothing to remove.\n");
  return kExitSuccess;
}

void UnregisterEverywhere(UnattendedHost& host, int version, bool elevated) {
  for (bool machine : {elevated, !elevated}) host.Unregister(RegistrationKey(version), machine);
}

// The receipt's files split into those to remove (still as installed)
// and those a user changed, which stay.
struct Sorted {
  std::vector<std::string> remove;
  std::vector<std::string> changed;
};

Sorted SortFiles(FileSystem& files, const Receipt& receipt, const std::string& dest) {
  Sorted sorted;
  for (const ReceiptFile& listed : receipt.files) {
    const std::string path = dest + "\\" + listed.name;
    if (!files.Exists(path)) continue;
    const auto now = DigestOf(files, dest, listed.name);
    if (now && now->size == listed.size && now->sha256 == listed.sha256)
      sorted.remove.push_back(listed.name);
    else
      sorted.changed.push_back(listed.name);
  }
  return sorted;
}

// What stays in the folder that the installation did not put there.
std::vector<std::string> AddedFiles(UnattendedHost& host, const std::string& dest,
                                    const Receipt& receipt) {
  std::vector<std::string> added;
  for (const std::string& name : host.Services().files.FolderEntries(dest)) {
    const bool listed = std::any_of(receipt.files.begin(), receipt.files.end(),
                                    [&](const ReceiptFile& f) { return SamePath(f.name, name); });
    if (!listed && !SamePath(name, kReceiptName) && !SamePath(name, kEarlierReceiptName))
      added.push_back(name);
  }
  return added;
}

class Removal {
 public:
  Removal(const UnattendedOptions& options, UnattendedHost& host, bool elevated,
          std::string dest)
      : options_(options),
        host_(host),
        files_(host.Services().files),
        elevated_(elevated),
        dest_(std::move(dest)),
        guard_(host, files_) {}

  int Run() {
    const int held = HoldDestination();
    if (held != kExitSuccess) return held;
    // After a failed upgrade the earlier receipt is the folder's.
    std::string receipt_path = dest_ + "\\" + kReceiptName;
    if (!files_.Exists(receipt_path) && files_.Exists(dest_ + "\\" + kEarlierReceiptName))
      receipt_path = dest_ + "\\" + kEarlierReceiptName;
    const auto text = ReadSmallFile(files_, receipt_path, kReceiptLimit);
    if (!text) {
      if (files_.Exists(receipt_path)) return Damaged(receipt_path);
      for (int version : {cd_format::kCurrentProductVersion, cd_format::kLegacyProductVersion})
        UnregisterEverywhere(host_, version, elevated_);
      return NothingInstalled(options_, host_, dest_);
    }
    const auto receipt = ParseReceipt(*text);
    if (!receipt) return Damaged(receipt_path);
    return Remove(*receipt);
  }

 private:
  int HoldDestination() {
    if (elevated_) {
      const Refusal refusal = guard_.Prepare(dest_, false);
      if (refusal.status == kExitSuccess) return kExitSuccess;
      LogStepFailed("prepare the destination", refusal.folder);
      host_.WriteError("orvik-install: " + refusal.folder + " " + refusal.reason + "\n");
      return refusal.status;
    }
    held_ = files_.HoldFolder(dest_);
    if (held_->state() != FolderState::kLink) return kExitSuccess;
    host_.WriteError("orvik-install: " + dest_ +
                     " is a symbolic link or junction; not removing through it\n");
    return kExitLinkedDest;
  }

  int Damaged(const std::string& receipt_path) {
    LogStepFailed("read the receipt", receipt_path);
    host_.WriteError("orvik-install: the receipt " + receipt_path +
                     " is damaged; nothing removed\n");
    return kExitReceiptDamaged;
  }

  bool IsThisProgram(const std::string& name) const {
    return SamePath(dest_ + "\\" + name, host_.ModulePath());
  }

  // Nothing is removed while one of the files is in use.
  bool AnyInUse(const std::vector<std::string>& names) {
    bool in_use = false;
    for (const std::string& name : names) {
      const std::string path = dest_ + "\\" + name;
      if (IsThisProgram(name) || !files_.InUse(path)) continue;
      const std::string programs = host_.ProgramsUsing(path);
      host_.WriteError("orvik-install: " + path + " is in use" +
                       (programs.empty() ? "" : " by " + programs) + "; nothing removed\n");
      in_use = true;
    }
    return in_use;
  }

  int Remove(const Receipt& receipt) {
    const Sorted sorted = SortFiles(files_, receipt, dest_);
    if (AnyInUse(sorted.remove)) return kExitInUse;
    int status = kExitSuccess;
    bool self_left = false;
    for (const std::string& name : sorted.remove) {
      const std::string path = dest_ + "\\" + name;
      if (files_.RemoveFile(path)) {
        WriteDebugLog("Removed %s\n", path.c_str());
      } else if (IsThisProgram(name)) {
        self_left = true;  // removed at the end, or at the next restart
      } else {
        LogStepFailed("remove", path);
        host_.WriteError("orvik-install: " + path + " cannot be removed\n");
        status = kExitInUse;
      }
    }
    // What could not be removed stays registered, with its receipt (the
    // files removed are skipped next time), so that the removal can be
    // run again.
    if (status != kExitSuccess) return status;
    if (EndsWith(receipt.shortcut, cd_format::kShortcutSuffix) && files_.RemoveFile(receipt.shortcut))
      WriteDebugLog("Removed %s\n", receipt.shortcut.c_str());
    UnregisterEverywhere(host_, receipt.version, elevated_);
    if (!receipt.receipt_copy.empty()) files_.RemoveFile(receipt.receipt_copy);
    files_.RemoveFile(dest_ + "\\" + kReceiptName);
    files_.RemoveFile(dest_ + "\\" + kEarlierReceiptName);
    for (const std::string& name : sorted.changed)
      host_.WriteError("orvik-install: kept " + dest_ + "\\" + name +
                       " (changed since it was installed)\n");
    const std::vector<std::string> added = AddedFiles(host_, dest_, receipt);
    for (const std::string& name : added)
      if (!(self_left && SamePath(name, kUninstallerName)))
        host_.WriteError("orvik-install: kept " + dest_ + "\\" + name +
                         " (not installed by Orvik)\n");
    RemoveFolder(self_left, added.empty() || (self_left && added.size() == 1));
    if (!options_.quiet && status == kExitSuccess)
      host_.WriteOutput("Orvik removed from " + dest_ + ".\n");
    return status;
  }

  // The program cannot remove itself while it runs: Windows removes it,
  // and then the folder, at the next restart (administrators only).
  void RemoveFolder(bool self_left, bool empty_but_self) {
    guard_.ReleaseDestination();
    held_.reset();
    const std::string self = dest_ + "\\" + kUninstallerName;
    if (self_left && !(elevated_ && files_.MoveAtRestart(self, ""))) {
      host_.WriteError("orvik-install: " + self + " removes itself only when this run ends; "
                       "remove it afterwards\n");
      return;
    }
    if (!empty_but_self) return;
    if (self_left)
      files_.MoveAtRestart(dest_, "");
    else if (files_.RemoveFolder(dest_))
      WriteDebugLog("Removed %s\n", dest_.c_str());
  }

  const UnattendedOptions& options_;
  UnattendedHost& host_;
  FileSystem& files_;
  const bool elevated_;
  const std::string dest_;
  ElevatedDestination guard_;
  std::unique_ptr<HeldFolder> held_;
};

}  // namespace

std::string RegistrationKey(int version) {
  return "Ostmarrow.Orvik" + std::to_string(version);
}

int RemoveInstallation(const UnattendedOptions& options, UnattendedHost& host, bool elevated) {
  const auto dest = FolderToRemove(options, host, elevated);
  if (!dest) return NothingInstalled(options, host, "");
  return Removal(options, host, elevated, *dest).Run();
}

}  // namespace orvik
