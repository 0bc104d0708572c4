#include "engine/result_codes.h"

namespace orvik {

const char* InstallResultName(int result) {
  switch (result) {
    case kResultOk: return "kResultOk";
    case kInstallDestFolderFailed: return "kInstallDestFolderFailed";
    case kInstallCopyListFailed: return "kInstallCopyListFailed";
    case kInstallSourceFileFailed: return "kInstallSourceFileFailed";
    case kInstallDestFileFailed: return "kInstallDestFileFailed";
    case kInstallWriteFailed: return "kInstallWriteFailed";
    case kInstallOutOfMemory: return "kInstallOutOfMemory";
    default: return "unknown result";
  }
}

}  // namespace orvik
