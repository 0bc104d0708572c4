// The Windows shell services behind the desktop shortcut: the special
// folders, the shell-link object with its persist-file interface, and the
// COM apartment. Interfaces of our own, so that the shortcut logic runs
// over fakes in native tests.
#pragma once

#include <memory>
#include <string>

namespace orvik {

// Whose desktop gets the shortcut: the user's who runs the installation,
// or the one every user of the machine sees.
enum class ShortcutPlace { kUserDesktop, kAllUsersDesktop };

// The shell's path limit: shell paths, terminator included, and the
// UTF-16 link path.
constexpr std::size_t kShellPathCapacity = 260;

class PersistFile {
 public:
  virtual ~PersistFile() = default;  // releases the interface
  // Saves the link under `path` (ANSI, converted to UTF-16 inside);
  // `remember` makes it the object's current file. True when saved; the
  // dialog ignores it, the unattended installer logs it.
  virtual bool Save(const std::string& path, bool remember) = 0;
};

class ShellLink {
 public:
  virtual ~ShellLink() = default;  // releases the interface
  virtual void SetPath(const std::string& target) = 0;
  virtual void SetWorkingDirectory(const std::string& folder) = 0;
  virtual void SetDescription(const std::string& description) = 0;
  // Null when the object has no persist-file interface.
  virtual std::unique_ptr<PersistFile> QueryPersistFile() = 0;
};

class Shell {
 public:
  virtual ~Shell() = default;
  // The desktop folder's file-system path; empty when it cannot be
  // resolved.
  virtual std::string DesktopFolder(ShortcutPlace place) = 0;
  // Null when the shell-link object cannot be created.
  virtual std::unique_ptr<ShellLink> CreateShellLink() = 0;
  // True when COM is initialised on this thread and one UninitializeCom is
  // owed for it (also when it already was). Use ComApartment, which pairs
  // the two.
  virtual bool InitializeCom() = 0;
  virtual void UninitializeCom() = 0;
};

}  // namespace orvik
