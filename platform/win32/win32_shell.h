// The shell services of the desktop shortcut over the Windows shell and
// COM: special folders, the shell-link object and its persist-file
// interface.
#pragma once

#include "shell/shell.h"

namespace orvik {

class Win32Shell : public Shell {
 public:
  std::string DesktopFolder(ShortcutPlace place) override;
  std::unique_ptr<ShellLink> CreateShellLink() override;
  bool InitializeCom() override;
  void UninitializeCom() override;
};

}  // namespace orvik
