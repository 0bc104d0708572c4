// The install message file: numbered lines of text on the CD, one file per
// language, from which every message the installer shows is taken.
#pragma once

#include <string>

#include "engine/cd_format.h"
#include "engine/cd_source.h"
#include "engine/file_system.h"
#include "engine/result_codes.h"

namespace orvik {

// The product's major version: 8, or 7 once only the legacy message file
// was found. Never set back.
extern int g_nProductVersion;

// A line is at most this many bytes; a longer one is read as two.
using cd_format::kMessageLineBytes;

// Finds the language's message file (current folder, then the drive's
// \install\ folder, then the legacy \install\install.dat), skips `skip`
// lines and returns the next `count` lines in `message`, each backslash-n
// marker removed. MessageResult::kFound when a file was opened (whatever it
// held), MessageResult::kNotFound with an empty `message` otherwise. Without a
// source (an empty root) the two files of the CD have empty names and cannot
// open.
MessageResult LoadInstallMessage(FileSystem& files, const CdSource& source,
                                 char language, unsigned skip, unsigned count,
                                 std::string& message);
MessageResult LoadInstallMessage(FileSystem& files, char drive, char language,
                                 unsigned skip, unsigned count,
                                 std::string& message);

}  // namespace orvik
