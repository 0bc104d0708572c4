// Result codes of the installation engine. Each operation has a result
// type of its own, so that a message-file result can never pass for a copy
// result; their values are the ones the debug log prints.
#pragma once

namespace orvik {

// LoadInstallMessage
enum class MessageResult {
  kFound = 0,
  kNotFound = -1,
};

// CopyInstallFiles
enum class InstallResult {
  kOk = 0,
  kDestFolderFailed = -1,
  kCopyListFailed = -2,
  kSourceFileFailed = -3,
  kDestFileFailed = -4,
  kWriteFailed = -5,
  kOutOfMemory = -6,
};

// The number the log's "rval" record and the callers of earlier releases
// know the result by.
constexpr int ResultCode(InstallResult result) { return static_cast<int>(result); }

// The result's name for messages and test output, "kOk" for success.
const char* InstallResultName(InstallResult result);

}  // namespace orvik
