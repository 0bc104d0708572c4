#include "tools/cdcheck/cd_path.h"

#include "engine/ascii.h"
#include "engine/windows_path.h"

namespace orvik::cdcheck {

namespace {

bool IsValidName(const std::string& name) { return !HasForbiddenCharacter(name); }

}  // namespace

std::optional<std::vector<std::string>> CdPathComponents(const std::string& path,
                                                         char drive) {
  if (path.size() < 3 || !IsDriveRoot(path.substr(0, 3)) ||
      AsciiUpper(path[0]) != AsciiUpper(drive))
    return std::nullopt;
  return ComponentsBelowRoot(std::string_view(path).substr(3), IsValidName);
}

}  // namespace orvik::cdcheck
