// The installation proper: copies the product's files from the CD into the
// destination folder by the language's copy list, patching the two
// settings files on the way.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

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

// The step a failed run could not do, for a log.
enum class CopyStep {
  kNone,
  kAllocate,
  kCreateFolder,
  kLinkedFolder,
  kHoldFolder,
  kOpenCopyList,
  kReadCopyList,
  kDestinationName,
  kOpenSource,
  kReadSource,
  kOwnSource,
  kCreateTemporary,
  kWrite,
  kFlush,
  kMove,
  kFileInUse,
};

// "open the copy list", "move into place", ...
const char* CopyStepText(CopyStep step);

// One destination file of the copy list as the run left it.
struct InstalledFile {
  std::string name;  // in the destination folder: "orvik8.exe"
  std::uint64_t size = 0;
  std::string sha256;  // of the bytes written; empty unless asked for
  bool kept = false;   // a "$" entry that was there already and stays
};

// How the copies take their names.
enum class Placement {
  // Each file moves into place as soon as it is written, as the dialog
  // installs: a failure leaves the files before it installed.
  kFileByFile,
  // Every file is written first and all move in at the end; a failed move
  // puts the earlier files back, so an upgrade completes or changes
  // nothing. A file in use fails the run before any file is moved.
  kAllOrNothing,
};

struct CopyRequest {
  char copy_list_drive = 0;  // 0: none
  CdSource source;
  char language = 0;  // 0: none
  std::string dest_dir;
  Placement placement = Placement::kFileByFile;
  bool digests = false;  // fill InstalledFile::sha256
  // With kAllOrNothing: a file in use is replaced at the next restart
  // instead of failing the run.
  bool replace_in_use_at_restart = false;
};

// What the run did: its result and the text to show the user; on failure
// the step and the file (the destination's own name, not the temporary
// one it was written under); the destination files in list order.
struct CopyReport {
  InstallResult result = InstallResult::kOk;
  std::string message;
  CopyStep failed_step = CopyStep::kNone;
  std::string failed_path;
  std::vector<InstalledFile> files;
  std::vector<std::string> replaced_at_restart;  // destination paths
};

// Each file is written under a temporary name beside its destination,
// flushed, and moved into place only when complete, so a failed or hostile
// run leaves the previous file (or none), never half of one, and never
// writes through a link.
CopyReport CopyInstallFiles(FileSystem& files, const CopyRequest& request);

// The dialog's form: returns InstallResult::kOk or one of its failures and
// leaves the text to show the user in `message`. A drive or language of
// value 0 means none.
InstallResult CopyInstallFiles(FileSystem& files, char cCopyListDrive,
                               const CdSource& source, char cLanguage,
                               const std::string& lpszDestDir,
                               std::string& message);
// The CD in drive `cSourceDrive`, as the dialog has it.
InstallResult CopyInstallFiles(FileSystem& files, char cCopyListDrive,
                               char cSourceDrive, char cLanguage,
                               const std::string& lpszDestDir,
                               std::string& message);

}  // namespace orvik
