// Checks of the settings files that Setup patches while copying them.
#pragma once

#include <string>

#include "tools/cdcheck/cd_access.h"
#include "tools/cdcheck/findings.h"

namespace orvik::cdcheck {

// Whether the language line of the settings file `name_on_cd` will be
// patched by the copy engine's own rule. A file that cannot be read is
// left to the copy list's checks.
void CheckSettingsFile(const Cd& cd, const std::string& name_on_cd,
                       Diagnostics& out);

}  // namespace orvik::cdcheck
