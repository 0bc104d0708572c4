#include "platform/win32/win32_drives.h"

#include <windows.h>

#include <string>

namespace orvik {

// A letter with no drive behind it is not asked for its type.
bool Win32Drives::IsCdRom(char letter) {
  if (letter < 'a' || letter > 'z') return false;
  const DWORD present = ::GetLogicalDrives();
  if ((present & (DWORD{1} << (letter - 'a'))) == 0) return false;
  const std::string root = std::string(1, letter) + ":\\";
  return ::GetDriveTypeA(root.c_str()) == DRIVE_CDROM;
}

}  // namespace orvik
