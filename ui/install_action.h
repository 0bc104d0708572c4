// The two steps that the install dialog and the unattended installer share:
// finding the CD for a language, and the installation itself.
#pragma once

#include <optional>
#include <string>

#include "engine/cd_source.h"
#include "engine/copy_engine.h"
#include "ui/install_services.h"

namespace orvik {

// Looks up the language's introduction on `source_drive`; when it is not
// there, tries the CD-ROM drives in letter order and makes the first that
// holds it the source drive, in lower case. True when a message file was
// found; `message` holds the introduction or the empty text.
bool FindIntroduction(FileSystem& files, Drives& drives, int& source_drive,
                      char language, std::string& message);

// Loads the introduction (lines 0-2) from `source`; true when a message file
// was found there.
bool LoadIntroduction(FileSystem& files, const CdSource& source, char language,
                      std::string& message);

// "c:\orvik8", or "c:\orvik7" once a legacy CD has been found.
std::string DefaultDestFolder();

struct InstallRequest {
  CdSource source;
  char language = 0;
  std::string dest_folder;
  // Nothing: no shortcut.
  std::optional<ShortcutPlace> shortcut = ShortcutPlace::kUserDesktop;
  Placement placement = Placement::kFileByFile;
  bool digests = false;
  bool replace_in_use_at_restart = false;
};

// What the installation did: the copy engine's report and the shortcut.
struct InstallReport {
  CopyReport copy;
  std::string shortcut;           // the link's path, when made
  std::string shortcut_not_made;  // the link's path, when asked for and not made
};

// Copies the product, writes the "rval" log record and, after a success,
// makes the desktop shortcut.
InstallReport RunInstallation(InstallServices services, const InstallRequest& request);

}  // namespace orvik
