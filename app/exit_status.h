// The exit statuses of orvik-install, each a Windows error code.
#pragma once

#include <cstddef>

#include "engine/result_codes.h"

namespace orvik {

// Exit status of orvik-install. Deployment consoles show the Windows error
// text of the number beside it, so each is a Windows error code whose text
// is true of the failure, and each failure has its own.
constexpr int kExitSuccess = 0;
constexpr int kExitCopyListMissing = 2;      // ERROR_FILE_NOT_FOUND
constexpr int kExitDestFolder = 3;           // ERROR_PATH_NOT_FOUND
constexpr int kExitUntrustedDest = 5;        // ERROR_ACCESS_DENIED
constexpr int kExitOutOfMemory = 8;          // ERROR_NOT_ENOUGH_MEMORY
constexpr int kExitCopyListDamaged = 13;     // ERROR_INVALID_DATA
constexpr int kExitReceipt = 29;             // ERROR_WRITE_FAULT
constexpr int kExitSourceFile = 30;          // ERROR_READ_FAULT
constexpr int kExitInUse = 32;               // ERROR_SHARING_VIOLATION
constexpr int kExitDestFile = 82;            // ERROR_CANNOT_MAKE
constexpr int kExitUsage = 87;               // ERROR_INVALID_PARAMETER
constexpr int kExitLog = 110;                // ERROR_OPEN_FAILED
constexpr int kExitWrite = 112;              // ERROR_DISK_FULL
constexpr int kExitLinkedDest = 681;         // ERROR_STOPPED_ON_SYMLINK
constexpr int kExitReceiptDamaged = 1610;    // ERROR_INSTALL_CONFIGURATION_DATA
constexpr int kExitSourceAbsent = 1612;      // ERROR_INSTALL_SOURCE_ABSENT
constexpr int kExitAlreadyRunning = 1618;    // ERROR_INSTALL_ALREADY_RUNNING
constexpr int kExitUnknownResult = 1603;     // ERROR_INSTALL_FAILURE
constexpr int kExitRestartNeeded = 3010;     // ERROR_SUCCESS_REBOOT_REQUIRED

struct ExitCodeRow {
  int status;
  const char* windows_name;
  const char* meaning;
};
// Every exit status, for the usage text and the documentation.
extern const ExitCodeRow kExitCodeTable[];
extern const std::size_t kExitCodeCount;

// The engine's result as an exit status; a damaged copy list is told apart
// from a missing one by the caller.
int ExitStatusForInstallResult(InstallResult result);

// The Windows name of a status of the table ("ERROR_SUCCESS"), "?" for
// one it does not hold.
const char* ExitStatusName(int status);

}  // namespace orvik
