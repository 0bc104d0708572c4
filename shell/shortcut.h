// The desktop shortcut to the installed product.
#pragma once

#include <string>

#include "shell/shell.h"

namespace orvik {

// Creates `link_name` in the special folder `folder_id`. Silent: a
// shortcut that cannot be made is not made. COM must be initialised.
void CreateShortcut(Shell& shell, const std::string& target,
                    const std::string& link_name,
                    const std::string& working_directory,
                    const std::string& description, int folder_id);

}  // namespace orvik
