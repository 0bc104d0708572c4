// How the POSIX program reaches the CD that its argument names: a folder
// becomes drive kCdDrive of the POSIX file system, as under Wine; a file is
// read as an ISO 9660 image when the build has libiso9660.
#pragma once

#include <string>

#include "tools/cdcheck/cli.h"

namespace orvik::cdcheck {

OpenedCd OpenCdOnPosix(const std::string& cd_path);

// The converter's files: a new file written beside the target, synced,
// and renamed over it.
HostFiles PosixHostFiles();

}  // namespace orvik::cdcheck
