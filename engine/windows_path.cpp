#include "engine/windows_path.h"

#include <algorithm>

#include "engine/ascii.h"

namespace orvik {

namespace {

// The drive's root takes the first three characters of a full path.
constexpr std::size_t kDriveRootLength = 3;

// Where the root of a share's path ends: after "\\server\share", before
// the separator that follows; the whole path when it names no more.
std::size_t ShareRootLength(std::string_view path) {
  const std::size_t server_end = path.find_first_of("\\/", 2);
  if (server_end == std::string_view::npos) return path.size();
  return std::min(path.size(), path.find_first_of("\\/", server_end + 1));
}

}  // namespace

bool HasForbiddenCharacter(std::string_view names) {
  return std::any_of(names.begin(), names.end(), IsForbiddenInFileName);
}

bool PathHasForbiddenCharacter(std::string_view path) {
  for (std::size_t i = 0; i < path.size(); ++i)
    if (path[i] == ':' ? i != 1 : IsForbiddenInFileName(path[i])) return true;
  return false;
}

bool EndsInDotOrBlank(std::string_view name) {
  return !name.empty() && (name.back() == '.' || name.back() == ' ');
}

bool IsDeviceName(std::string_view name) {
  std::string base(name.substr(0, name.find('.')));
  base.erase(base.find_last_not_of(' ') + 1);
  std::transform(base.begin(), base.end(), base.begin(), AsciiUpper);
  for (const char* device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"})
    if (base == device) return true;
  if (base.size() != 4) return false;
  const std::string prefix = base.substr(0, 3);
  if (prefix != "COM" && prefix != "LPT") return false;
  // The digits 1-9, and superscript 1, 2 and 3 of the ANSI code page.
  const auto digit = static_cast<unsigned char>(base[3]);
  return (digit >= '1' && digit <= '9') || digit == 0xB9 || digit == 0xB2 ||
         digit == 0xB3;
}

bool IsSharePath(std::string_view path) {
  return path.size() >= 2 && IsPathSeparator(path[0]) && IsPathSeparator(path[1]);
}

bool StartsWithDrive(std::string_view path) { return path.size() >= 2 && path[1] == ':'; }

bool IsBareDrive(std::string_view path) { return path.size() == 2 && StartsWithDrive(path); }

bool IsDriveRoot(std::string_view path) {
  return path.size() == kDriveRootLength && StartsWithDrive(path) && IsPathSeparator(path[2]);
}

bool IsFullPath(std::string_view path) {
  const bool drive_rooted = path.size() >= kDriveRootLength && IsAsciiLetter(path[0]) &&
                            IsDriveRoot(path.substr(0, kDriveRootLength));
  const bool share = path.size() > 2 && path.substr(0, 2) == "\\\\" &&
                     path.find_first_not_of('\\', 2) != std::string_view::npos;
  return drive_rooted || share;
}

std::string WithoutTrailingSeparators(std::string path) {
  while (path.size() > 1 && IsPathSeparator(path.back()) && !IsDriveRoot(path))
    path.pop_back();
  return path;
}

std::string FolderPrefix(std::string folder) {
  while (!folder.empty() && IsPathSeparator(folder.back())) folder.pop_back();
  return folder;
}

std::string FolderOf(const std::string& path) {
  const auto cut = path.find_last_of("\\/");
  if (cut == std::string::npos) return std::string();
  const bool at_drive_root = cut + 1 == kDriveRootLength && StartsWithDrive(path);
  return path.substr(0, at_drive_root ? cut + 1 : cut);
}

std::vector<std::string> FoldersDownTo(const std::string& folder) {
  const std::size_t root_end =
      IsSharePath(folder) ? ShareRootLength(folder) : std::min(folder.size(), kDriveRootLength);
  std::vector<std::string> folders{folder.substr(0, root_end)};
  for (std::size_t at = root_end; at < folder.size(); ++at) {
    const std::size_t cut = folder.find_first_of("\\/", at);
    if (cut == std::string::npos) break;
    if (cut > at) folders.push_back(folder.substr(0, cut));
    at = cut;
  }
  if (folders.back() != folder && folder.size() > root_end) folders.push_back(folder);
  return folders;
}

bool AppendComponents(std::vector<std::string>& components, std::string_view path,
                      bool (*acceptable)(const std::string& component)) {
  std::size_t at = 0;
  while (at < path.size()) {
    std::size_t end = at;
    while (end < path.size() && !IsPathSeparator(path[end])) ++end;
    const std::string component(path.substr(at, end - at));
    at = end + 1;
    if (component.empty() || component == ".") continue;
    if (component == "..") {
      if (!components.empty()) components.pop_back();
      continue;
    }
    if (!acceptable(component)) return false;
    components.push_back(component);
  }
  return true;
}

std::optional<std::vector<std::string>> ComponentsBelowRoot(
    std::string_view name, bool (*acceptable)(const std::string& component)) {
  std::vector<std::string> components;
  if (!AppendComponents(components, name, acceptable)) return std::nullopt;
  return components;
}

bool SamePath(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(),
                    [](char x, char y) { return AsciiLower(x) == AsciiLower(y); });
}

}  // namespace orvik
