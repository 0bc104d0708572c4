// How Windows reads a path, in one place, without asking a file system:
// drives and roots, trailing separators, the components below a root, the
// names it refuses, and comparison without regard to case. Paths are
// single-byte text, as everywhere in Setup.
//
// The rule for trailing separators: a trailing separator is dropped unless
// the path is a root that needs it, a drive's ("C:\") or the current
// drive's ("\"). "C:\pkg\" and "\\server\share\" name the folders that
// "C:\pkg" and "\\server\share" name, but "C:" is the drive's current
// folder, not its root.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orvik {

// Either separator of a Windows path.
constexpr bool IsPathSeparator(char c) { return c == '\\' || c == '/'; }

// A character Windows refuses in a file name: the control characters and
// <>:"|?* (the separators aside).
constexpr bool IsForbiddenInFileName(char c) {
  if (static_cast<unsigned char>(c) < 0x20) return true;
  for (const char forbidden : {'<', '>', ':', '"', '|', '?', '*'})
    if (c == forbidden) return true;
  return false;
}

// Whether any character of `names` is one Windows refuses in a name.
bool HasForbiddenCharacter(std::string_view names);
// The same for a whole path, where the drive's colon ("C:") is allowed.
bool PathHasForbiddenCharacter(std::string_view path);
// Windows drops a trailing dot or blank from a name: "x." opens "x".
bool EndsInDotOrBlank(std::string_view name);
// CON, NUL, COM1, ... which Windows opens as devices in any folder and with
// any extension ("nul.txt").
bool IsDeviceName(std::string_view name);

// A drive as Windows parses one: a character and a colon ("C:x", "C:\x").
// Whether the character is a letter is the caller's question.
bool StartsWithDrive(std::string_view path);
// A drive alone, "C:": its current folder.
bool IsBareDrive(std::string_view path);
// A drive's root, "C:\" (or "C:/").
bool IsDriveRoot(std::string_view path);
// A share's path: two separators, then "server\share..." (or nothing
// usable).
bool IsSharePath(std::string_view path);
// A full path as the command line takes one: a drive letter's root
// ("C:\...") or a share ("\\server..."), never relative to where the
// program happens to start.
bool IsFullPath(std::string_view path);

// `path` under the rule for trailing separators above.
std::string WithoutTrailingSeparators(std::string path);
// What a name is appended to after a separator: every trailing separator
// dropped, so that a drive's root becomes the bare drive ("E:\" + "\x"
// would be "E:\\x"; "E:" + "\x" is "E:\x").
std::string FolderPrefix(std::string folder);
// The folder that holds `path`: "C:\pkg" for "C:\pkg\x.exe", "E:\" for a
// file at a drive's root; empty for a bare name.
std::string FolderOf(const std::string& path);
// The folders from the volume's root down to the full path `folder`:
// "C:\", "C:\Vendor", "C:\Vendor\Orvik"; for a share, from
// "\\server\share".
std::vector<std::string> FoldersDownTo(const std::string& folder);

// Folds the components of `path` onto `components` as Windows resolves
// them: both separators separate, empty and "." components go, ".." takes
// the last one away and never climbs above the root. False when a
// component fails `acceptable`.
bool AppendComponents(std::vector<std::string>& components, std::string_view path,
                      bool (*acceptable)(const std::string& component));
// The components of `name` below a root, folded as above; nothing when a
// component fails `acceptable`.
std::optional<std::vector<std::string>> ComponentsBelowRoot(
    std::string_view name, bool (*acceptable)(const std::string& component));

// Whether Windows takes `a` and `b` for the same path or name: they differ
// at most in the case of ASCII letters.
bool SamePath(std::string_view a, std::string_view b);

}  // namespace orvik
