#include "tools/cdcheck/cd_path.h"

#include "engine/ascii.h"

namespace orvik::cdcheck {

namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// The characters Windows refuses in a file name.
bool IsValidName(const std::string& name) {
  for (char c : name)
    if (static_cast<unsigned char>(c) < 0x20 ||
        std::string("<>:\"|?*").find(c) != std::string::npos)
      return false;
  return true;
}

}  // namespace

std::optional<std::vector<std::string>> CdPathComponents(const std::string& path,
                                                         char drive) {
  if (path.size() < 3 || AsciiUpper(path[0]) != AsciiUpper(drive) || path[1] != ':' ||
      !IsSeparator(path[2]))
    return std::nullopt;
  std::vector<std::string> components;
  std::size_t start = 3;
  while (start <= path.size()) {
    std::size_t end = start;
    while (end < path.size() && !IsSeparator(path[end])) ++end;
    const std::string name = path.substr(start, end - start);
    start = end + 1;
    if (name.empty() || name == ".") continue;
    if (name == "..") {
      // As on Windows, ".." at the root stays at the root.
      if (!components.empty()) components.pop_back();
      continue;
    }
    if (!IsValidName(name)) return std::nullopt;
    components.push_back(name);
  }
  return components;
}

}  // namespace orvik::cdcheck
