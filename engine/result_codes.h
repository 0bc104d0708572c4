// Result codes of the installation engine. 0 is success; each failure has
// its own negative code so that callers (and tests) can tell them apart.
#pragma once

namespace orvik {

constexpr int kResultOk = 0;

// LoadInstallMessage
constexpr int kMessageFileNotFound = -1;

// CopyInstallFiles
constexpr int kInstallDestFolderFailed = -1;
constexpr int kInstallCopyListFailed = -2;
constexpr int kInstallSourceFileFailed = -3;
constexpr int kInstallDestFileFailed = -4;
constexpr int kInstallWriteFailed = -5;
constexpr int kInstallOutOfMemory = -6;

// The code's name for messages and test output, "kResultOk" for 0.
const char* InstallResultName(int result);

}  // namespace orvik
