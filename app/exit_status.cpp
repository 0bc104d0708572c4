#include "app/exit_status.h"

namespace orvik {

const ExitCodeRow kExitCodeTable[] = {
    {kExitSuccess, "ERROR_SUCCESS", "installed"},
    {kExitCopyListMissing, "ERROR_FILE_NOT_FOUND", "no copy list on the CD"},
    {kExitDestFolder, "ERROR_PATH_NOT_FOUND", "the destination folder cannot be created"},
    {kExitUntrustedDest, "ERROR_ACCESS_DENIED",
     "elevated, and the destination folder or one above it can be changed by other users; "
     "nothing done"},
    {kExitOutOfMemory, "ERROR_NOT_ENOUGH_MEMORY", "not enough memory"},
    {kExitCopyListDamaged, "ERROR_INVALID_DATA", "the copy list is damaged"},
    {kExitReceipt, "ERROR_WRITE_FAULT", "installed, but the receipt cannot be written"},
    {kExitSourceFile, "ERROR_READ_FAULT", "a file on the CD cannot be read"},
    {kExitInUse, "ERROR_SHARING_VIOLATION",
     "a file to replace or remove is in use (Orvik is running); nothing changed"},
    {kExitDestFile, "ERROR_CANNOT_MAKE", "a file in the destination cannot be created"},
    {kExitUsage, "ERROR_INVALID_PARAMETER", "bad command line; nothing done"},
    {kExitLog, "ERROR_OPEN_FAILED", "the log file cannot be created; nothing done"},
    {kExitWrite, "ERROR_DISK_FULL", "writing a file failed (disk full)"},
    {kExitLinkedDest, "ERROR_STOPPED_ON_SYMLINK",
     "the destination folder or one above it is a link or junction; nothing done"},
    {kExitUnknownResult, "ERROR_INSTALL_FAILURE", "the installation failed otherwise"},
    {kExitReceiptDamaged, "ERROR_INSTALL_CONFIGURATION_DATA",
     "the receipt of the installation to remove is damaged; nothing removed"},
    {kExitSourceAbsent, "ERROR_INSTALL_SOURCE_ABSENT", "the CD or package folder was not found"},
    {kExitAlreadyRunning, "ERROR_INSTALL_ALREADY_RUNNING",
     "another orvik-install or setup.exe is running; nothing done"},
    {kExitRestartNeeded, "ERROR_SUCCESS_REBOOT_REQUIRED",
     "installed; files in use are replaced when Windows restarts"},
};
const std::size_t kExitCodeCount = sizeof kExitCodeTable / sizeof kExitCodeTable[0];

int ExitStatusForInstallResult(InstallResult result) {
  switch (result) {
    case InstallResult::kOk: return kExitSuccess;
    case InstallResult::kDestFolderFailed: return kExitDestFolder;
    case InstallResult::kCopyListFailed: return kExitCopyListMissing;
    case InstallResult::kSourceFileFailed: return kExitSourceFile;
    case InstallResult::kDestFileFailed: return kExitDestFile;
    case InstallResult::kWriteFailed: return kExitWrite;
    case InstallResult::kOutOfMemory: return kExitOutOfMemory;
  }
  return kExitUnknownResult;
}

const char* ExitStatusName(int status) {
  for (std::size_t i = 0; i < kExitCodeCount; ++i)
    if (kExitCodeTable[i].status == status) return kExitCodeTable[i].windows_name;
  return "?";
}

}  // namespace orvik
