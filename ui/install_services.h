// The platform services behind an installation, one bundle for the dialog
// and the unattended installer alike.
#pragma once

#include "engine/file_system.h"
#include "shell/shell.h"
#include "ui/drives.h"

namespace orvik {

struct InstallServices {
  FileSystem& files;
  Drives& drives;
  Shell& shell;
};

}  // namespace orvik
