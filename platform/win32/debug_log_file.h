// The debug log's file, shared by setup.exe and orvik-install.
#pragma once

#include <cstdio>
#include <string>

namespace orvik {

// Opens path as a new, empty, unbuffered binary stream. Whatever name is
// already there (a file, a symbolic or a hard link someone planted) is
// replaced by a new file, so a write never reaches another file and no
// target is truncated. Null when that cannot be done: then there is no log.
// With `earlier_log_start`, the new file begins with what the old one held
// (its last few MiB) when that was a log of ours, starting with that text:
// a link planted at the name (which Wine does not mark as one when it
// leads to a file) cannot make the log show another file's contents.
std::FILE* OpenDebugLogFile(const std::string& path, const char* earlier_log_start = nullptr);

}  // namespace orvik
