#include "engine/cd_source.h"

#include <vector>

#include "engine/ascii.h"

namespace orvik {

namespace {

bool IsDriveRoot(const std::string& root) {
  return root.size() == 2 && root[1] == ':';
}

// Windows strips a trailing dot or blank from a name and reads a colon as
// the start of a stream name: such a component would name another file.
bool IsSafeComponent(const std::string& component) {
  const char last = component.back();
  return last != '.' && last != ' ' && component.find(':') == std::string::npos;
}

}  // namespace

bool CdSource::IsFolder() const { return !root.empty() && !IsDriveRoot(root); }

std::optional<std::vector<std::string>> ComponentsBelowRoot(
    const std::string& name, bool (*acceptable)(const std::string& component)) {
  std::vector<std::string> components;
  std::size_t at = 0;
  while (at < name.size()) {
    std::size_t end = at;
    while (end < name.size() && !IsPathSeparator(name[end])) ++end;
    const std::string component = name.substr(at, end - at);
    at = end + 1;
    if (component.empty() || component == ".") continue;
    if (component == "..") {
      if (!components.empty()) components.pop_back();
      continue;
    }
    if (!acceptable(component)) return std::nullopt;
    components.push_back(component);
  }
  return components;
}

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
  source.root = folder;
  // "\\server\share\" keeps its two leading separators.
  while (source.root.size() > 2 && IsPathSeparator(source.root.back()))
    source.root.pop_back();
  source.cd_drive_letter = cd_drive_letter;
  if (cd_drive_letter == 0 && IsDriveRoot(source.root))
    source.cd_drive_letter = source.root[0];
  return source;
}

}  // namespace orvik
