#include "shell/shortcut.h"

namespace orvik {

namespace {

bool FitsShellPath(const std::string& path) {
  return path.size() < kShellPathCapacity;
}

}  // namespace

bool CreateShortcut(Shell& shell, const std::string& target,
                    const std::string& link_name,
                    const std::string& working_directory,
                    const std::string& description, ShortcutPlace place,
                    std::string* link_path) {
  // An unresolved folder would put the link at the root of the current
  // drive, where nobody asked for it; an over-long path would be cut. In
  // both cases the shortcut is not made at all.
  const std::string folder = shell.DesktopFolder(place);
  if (link_path != nullptr) *link_path = folder + "\\" + link_name;
  if (folder.empty()) return false;
  const std::string path = folder + "\\" + link_name;
  if (!FitsShellPath(path) || !FitsShellPath(target)) return false;

  auto link = shell.CreateShellLink();
  if (!link) return false;
  link->SetPath(target);
  link->SetWorkingDirectory(working_directory);
  link->SetDescription(description);
  auto persist = link->QueryPersistFile();
  if (!persist) return false;
  return persist->Save(path, true);
}

}  // namespace orvik
