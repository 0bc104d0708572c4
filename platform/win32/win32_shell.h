// The shell services of the desktop shortcut over the Windows shell and
// COM: special folders, the shell-link object and its persist-file
// interface.
#pragma once

#include "shell/shell.h"

namespace orvik {

class Win32Shell : public Shell {
 public:
  ~Win32Shell() override;
  std::string DesktopFolder(ShortcutPlace place) override;
  std::unique_ptr<ShellLink> CreateShellLink() override;
  void InitializeCom() override;
  void UninitializeCom() override;

 private:
  // CoUninitialize is owed only for a CoInitialize that succeeded (S_FALSE
  // counts); an unbalanced one would tear down somebody else's apartment.
  int com_initializations_ = 0;
};

}  // namespace orvik
