// The two steps that the install dialog and the unattended installer share:
// finding the CD for a language, and the installation itself.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "engine/cd_source.h"
#include "engine/copy_engine.h"
#include "ui/install_services.h"

namespace orvik {

// Looks up the language's introduction on `source_drive`; when it is not
// there, makes the first CD-ROM drive that holds it (FindCdRomDrive, the
// current folder as it is) the source drive. True when a message file was
// found; `message` holds the introduction or the empty text.
bool FindIntroduction(FileSystem& files, Drives& drives, int& source_drive,
                      char language, std::string& message);

// Loads the introduction (lines 0-2) from `source`; true when a message file
// was found there.
bool LoadIntroduction(FileSystem& files, const CdSource& source, char language,
                      std::string& message);

// The message-file reader looks in the current folder before the source.
enum class LookupFolder {
  kAsItIs,     // the dialog's: the current folder wherever it is
  // The source's root is made current first, so that no file outside the
  // source is read; a root that cannot be made current holds nothing.
  kSourceRoot,
};

// Whether the language's message file is found for `source`; `introduction`
// holds its introduction or the empty text.
bool HoldsMessageFile(FileSystem& files, const CdSource& source, char language,
                      LookupFolder lookup, std::string& introduction);

// The CD-ROM drives in letter order, in lower case.
std::vector<char> CdRomDrives(Drives& drives);

// The first of the CD-ROM drives for which HoldsMessageFile is true, in
// lower case; nothing when none is.
std::optional<char> FindCdRomDrive(FileSystem& files, Drives& drives, char language,
                                   LookupFolder lookup, std::string& introduction);

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
