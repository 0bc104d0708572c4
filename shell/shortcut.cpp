#include "shell/shortcut.h"

namespace orvik {

namespace {

bool FitsShellPath(const std::string& path) {
  return path.size() < kShellPathCapacity;
}

}  // namespace

void CreateShortcut(Shell& shell, const std::string& target,
                    const std::string& link_name,
                    const std::string& working_directory,
                    const std::string& description, int folder_id) {
  // An unresolved folder would put the link at the root of the current
  // drive, where nobody asked for it; an over-long path would be cut. In
  // both cases the shortcut is not made at all.
  const std::string folder = shell.GetSpecialFolderPath(folder_id);
  if (folder.empty()) return;
  const std::string link_path = folder + "\\" + link_name;
  if (!FitsShellPath(link_path) || !FitsShellPath(target)) return;

  auto link = shell.CreateShellLink();
  if (!link) return;
  link->SetPath(target);
  link->SetWorkingDirectory(working_directory);
  link->SetDescription(description);
  auto persist = link->QueryPersistFile();
  if (!persist) return;
  persist->Save(link_path, true);
}

}  // namespace orvik
