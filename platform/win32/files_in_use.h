// Which programs hold a file open, as the Restart Manager tells it.
#pragma once

#include <string>

namespace orvik {

// "Orvik (1234), Notepad (88)"; empty when Windows cannot tell.
std::string ProgramsHolding(const std::string& path);

}  // namespace orvik
