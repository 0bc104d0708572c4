#include "engine/cd_source.h"

#include "engine/windows_path.h"

namespace orvik {

namespace {

// Windows strips a trailing dot or blank from a name and reads a colon as
// the start of a stream name: such a component would name another file.
bool IsSafeComponent(const std::string& component) {
  return !EndsInDotOrBlank(component) && component.find(':') == std::string::npos;
}

}  // namespace

bool CdSource::IsFolder() const { return !root.empty() && !IsBareDrive(root); }

std::string CdSource::PathOf(const std::string& name) const {
  if (!IsFolder()) return root + name;
  const auto components = ComponentsBelowRoot(name, IsSafeComponent);
  if (!components) return std::string();
  std::string path = root;
  for (const auto& component : *components) path += "\\" + component;
  return path;
}

CdSource CdDrive(char letter) {
  CdSource source;
  if (letter != 0) source.root = std::string(1, letter) + ":";
  source.cd_drive_letter = letter;
  return source;
}

CdSource CdFolder(const std::string& folder, char cd_drive_letter) {
  CdSource source;
  source.root = FolderPrefix(folder);
  source.cd_drive_letter = cd_drive_letter;
  if (cd_drive_letter == 0 && IsBareDrive(source.root))
    source.cd_drive_letter = source.root[0];
  return source;
}

}  // namespace orvik
