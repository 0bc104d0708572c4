#include "tools/cdcheck/cd_path.h"

#include "engine/ascii.h"
#include "engine/cd_source.h"

namespace orvik::cdcheck {

namespace {

// The characters Windows refuses in a file name.
bool IsValidName(const std::string& name) {
  for (char c : name)
    if (IsForbiddenInFileName(c)) return false;
  return true;
}

}  // namespace

std::optional<std::vector<std::string>> CdPathComponents(const std::string& path,
                                                         char drive) {
  if (path.size() < 3 || AsciiUpper(path[0]) != AsciiUpper(drive) || path[1] != ':' ||
      !IsPathSeparator(path[2]))
    return std::nullopt;
  return ComponentsBelowRoot(path.substr(3), IsValidName);
}

}  // namespace orvik::cdcheck
