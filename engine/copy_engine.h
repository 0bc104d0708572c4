// The installation proper: copies the product's files from the CD into the
// destination folder by the language's copy list, patching the two
// settings files on the way.
#pragma once

#include <cstddef>
#include <string>

#include "engine/cd_source.h"
#include "engine/file_system.h"
#include "engine/result_codes.h"

namespace orvik {

// Name of the copy list; its first letter is the language of the last call
// that gave one ("eopylist.dat" until then).
extern char g_szCopyListName[13];

// Where the user is sent when a failure is of the engine's own making.
inline constexpr char kSupportTelephone[] = "+49 30 5557 2418";
inline constexpr char kSupportEmail[] = "support@ostmarrow.example";

// The largest chunk in which files are copied; halved while memory is short.
constexpr std::size_t kLargestCopyChunk = 32768;

// What a failed run could not do and on which file, for a log: the step
// ("open the copy list", "read the source", "write", "move into place")
// and the path involved, the destination's own name rather than the
// temporary one it was written under.
struct CopyFailure {
  std::string step;
  std::string path;
};

// Returns InstallResult::kOk or one of its failures, and leaves the text to
// show the user in `message`. A drive or language of value 0 means none.
// Each file is written under a temporary name beside its destination and
// moved into place only when complete, so a failed or hostile run leaves
// the previous file (or none), never half of one, and never writes through
// a link. On failure `failure`, when given, says what failed.
InstallResult CopyInstallFiles(FileSystem& files, char cCopyListDrive,
                               const CdSource& source, char cLanguage,
                               const std::string& lpszDestDir,
                               std::string& message,
                               CopyFailure* failure = nullptr);
// The CD in drive `cSourceDrive`, as the dialog has it.
InstallResult CopyInstallFiles(FileSystem& files, char cCopyListDrive,
                               char cSourceDrive, char cLanguage,
                               const std::string& lpszDestDir,
                               std::string& message,
                               CopyFailure* failure = nullptr);

}  // namespace orvik
