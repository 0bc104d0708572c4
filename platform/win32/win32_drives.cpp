#include "platform/win32/win32_drives.h"

#include <windows.h>

namespace orvik {

std::uint32_t Win32Drives::LogicalDriveMask() { return ::GetLogicalDrives(); }

unsigned Win32Drives::DriveType(const std::string& root) {
  return ::GetDriveTypeA(root.c_str());
}

}  // namespace orvik
