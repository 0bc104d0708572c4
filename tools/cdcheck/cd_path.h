// Paths on the CD as Setup names them ("D:\install\x.dat"), taken apart
// the way Windows resolves them, without asking any file system: both
// separators, "." and ".." folded, never above the CD's root. The Windows
// program and the image reader resolve names with it, so that an entry
// "\..\x" cannot name a file outside the CD.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace orvik::cdcheck {

// The folder and file names below the root of `drive` that `path` names;
// nothing when the path is not rooted on that drive ("x", "\x", "D:x",
// "C:\x") or holds a character that no file name may.
std::optional<std::vector<std::string>> CdPathComponents(const std::string& path,
                                                         char drive);

}  // namespace orvik::cdcheck
