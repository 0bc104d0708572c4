// The two steps that the install dialog and the unattended installer share:
// finding the CD for a language, and the installation itself.
#pragma once

#include <string>

#include "ui/install_services.h"

namespace orvik {

// Looks up the language's introduction on `source_drive`; when it is not
// there, tries the CD-ROM drives in letter order and makes the first that
// holds it the source drive, in lower case. True when a message file was
// found; `message` holds the introduction or the empty text.
bool FindIntroduction(FileSystem& files, Drives& drives, int& source_drive,
                      char language, std::string& message);

// "c:\orvik8", or "c:\orvik7" once a legacy CD has been found.
std::string DefaultDestFolder();

struct InstallRequest {
  char source_drive = 0;
  char language = 0;
  std::string dest_folder;
  bool create_shortcut = true;
};

// Copies the product, writes the "rval" log record and, after a success,
// makes the desktop shortcut. Returns the copy engine's result and leaves
// the outcome text in `message`.
int RunInstallation(InstallServices services, const InstallRequest& request,
                    std::string& message);

}  // namespace orvik
