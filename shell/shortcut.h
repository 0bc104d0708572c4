// The desktop shortcut to the installed product.
#pragma once

#include <string>

#include "shell/shell.h"

namespace orvik {

// Creates `link_name` on the desktop `place`. A shortcut that cannot be
// made is not made; the result tells whether it was saved, and
// `link_path` (when given) where it was to go. COM must be initialised.
bool CreateShortcut(Shell& shell, const std::string& target,
                    const std::string& link_name,
                    const std::string& working_directory,
                    const std::string& description, ShortcutPlace place,
                    std::string* link_path = nullptr);

}  // namespace orvik
