// orvik-install's entry in Windows' list of installed programs: the
// Uninstall key of the machine (HKLM) or of the user (HKCU).
#pragma once

#include <optional>
#include <string>

#include "app/unattended.h"

namespace orvik {

bool WriteRegistration(const Registration& entry, bool machine);
bool DeleteRegistration(const std::string& key, bool machine);
std::optional<std::string> ReadInstallLocation(const std::string& key, bool machine);

}  // namespace orvik
