// The Win32 services behind an installation: one bundle for setup.exe and
// orvik-install.exe alike, so both run on the same files, drives and shell.
#pragma once

#include "platform/win32/win32_drives.h"
#include "platform/win32/win32_file_system.h"
#include "platform/win32/win32_shell.h"
#include "ui/install_services.h"

namespace orvik {

class Win32InstallServices {
 public:
  InstallServices Get() { return {files_, drives_, shell_}; }

 private:
  Win32FileSystem files_;
  Win32Drives drives_;
  Win32Shell shell_;
};

}  // namespace orvik
