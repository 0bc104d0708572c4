#include "engine/result_codes.h"

namespace orvik {

const char* InstallResultName(InstallResult result) {
  switch (result) {
    case InstallResult::kOk: return "kOk";
    case InstallResult::kDestFolderFailed: return "kDestFolderFailed";
    case InstallResult::kCopyListFailed: return "kCopyListFailed";
    case InstallResult::kSourceFileFailed: return "kSourceFileFailed";
    case InstallResult::kDestFileFailed: return "kDestFileFailed";
    case InstallResult::kWriteFailed: return "kWriteFailed";
    case InstallResult::kOutOfMemory: return "kOutOfMemory";
  }
  return "an unknown result";  // only a cast can make one
}

}  // namespace orvik
