// The debug log's file, shared by setup.exe and orvik-install.
#pragma once

#include <cstdio>
#include <string>

namespace orvik {

// Opens path as a new, empty, unbuffered binary stream. Whatever name is
// already there (a file, a symbolic or a hard link someone planted) is
// replaced by a new file, so a write never reaches another file and no
// target is truncated. Null when that cannot be done: then there is no log.
// With `keep_earlier`, the new file starts with what the old one held (its
// last few MiB), read only when it is a plain file with no other name, so
// no link can make the log show another file's contents.
std::FILE* OpenDebugLogFile(const std::string& path, bool keep_earlier = false);

}  // namespace orvik
