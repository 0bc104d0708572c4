#include "app/guarded_folders.h"

#include "app/fleet_log.h"
#include "engine/windows_path.h"

namespace orvik {

Refusal ElevatedDestination::Prepare(const std::string& dest, bool create) {
  const std::string work = create ? "installing" : "removing";
  bool created = false;
  const std::vector<std::string> folders = FoldersDownTo(dest);
  for (const std::string& folder : folders) {
    auto held = files_.HoldFolder(folder);
    if (held->state() == FolderState::kMissing) {
      // No such drive or share: the engine reports it as it always has.
      if (folder == folders.front() || !create) return {};
      if (!host_.CreateFolder(folder, true))
        return {kExitDestFolder, folder, "cannot be created with the protected access list"};
      created = true;
      held = files_.HoldFolder(folder);
      if (held->state() != FolderState::kFolder)
        return {kExitDestFolder, folder, "was replaced right after it was created"};
    }
    switch (held->state()) {
      case FolderState::kLink:
        return {kExitLinkedDest, folder, "is a symbolic link or junction; not " + work + " through it"};
      case FolderState::kNotHeld:
        return {kExitDestFolder, folder, "cannot be held open; not " + work + " there"};
      case FolderState::kNotAFolder:
      case FolderState::kMissing:
        // A file in the way: the engine reports it as it always has.
        return {};
      case FolderState::kFolder:
        break;
    }
    if (!created && !host_.OnlyAdministratorsCanChange(folder, folder == dest))
      return {kExitUntrustedDest, folder,
              "can be changed by users other than administrators; not " + work + " there"};
    held_.push_back(std::move(held));
  }
  return {};
}

void ElevatedDestination::ReleaseDestination() {
  if (!held_.empty()) held_.pop_back();
}

void CreateMissingFolders(const std::string& dest, UnattendedHost& host, FileSystem& files,
                          bool restricted) {
  if (dest.empty()) return;
  const std::vector<std::string> folders = FoldersDownTo(dest);
  for (std::size_t i = 1; i < folders.size(); ++i) {
    const std::string& folder = folders[i];
    if (files.HoldFolder(folder)->state() != FolderState::kMissing) continue;
    if (!host.CreateFolder(folder, restricted)) {
      LogStepFailed("create folder", folder);
      return;
    }
  }
}

}  // namespace orvik
