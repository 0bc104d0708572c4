// The installation proper: copies the product's files from the CD into the
// destination folder by the language's copy list, patching the two
// settings files on the way.
#pragma once

#include <string>

#include "engine/file_system.h"

namespace orvik {

// Name of the copy list; its first letter is the language of the last call
// that gave one ("eopylist.dat" until then).
extern char g_szCopyListName[13];

// Returns kResultOk or one of the kInstall* failures, and leaves the text
// to show the user in `message`. A drive or language of value 0 means none.
int CopyInstallFiles(FileSystem& files, char cCopyListDrive, char cSourceDrive,
                     char cLanguage, const std::string& lpszDestDir,
                     std::string& message);

}  // namespace orvik
