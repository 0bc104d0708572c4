// The debug log's file, shared by setup.exe and orvik-install.
#pragma once

#include <cstdio>
#include <string>

namespace orvik {

// Opens path as a new, empty, unbuffered binary stream. Whatever name is
// already there (a file, a symbolic or a hard link someone planted) is
// replaced by a new file, so a write never reaches another file and no
// target is truncated. Null when that cannot be done: then there is no log.
std::FILE* OpenDebugLogFile(const std::string& path);

}  // namespace orvik
