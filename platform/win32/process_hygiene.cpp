#include "platform/win32/process_hygiene.h"

#include <windows.h>

namespace orvik {

namespace {

void SetQuietErrorMode() {
  const UINT previous = ::SetErrorMode(0);
  ::SetErrorMode(previous | SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
}

// SetDefaultDllDirectories exists from Windows 8 (and 7 with its update);
// older systems go on without it.
void HardenDllSearch() {
  using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
  HMODULE kernel = ::GetModuleHandleA("kernel32.dll");
  auto set_default = reinterpret_cast<SetDefaultDllDirectoriesFn>(
      reinterpret_cast<void*>(::GetProcAddress(kernel, "SetDefaultDllDirectories")));
  if (set_default != nullptr) set_default(LOAD_LIBRARY_SEARCH_SYSTEM32);
  ::SetDllDirectoryA("");
}

}  // namespace

void ApplyProcessHygiene() {
  SetQuietErrorMode();
  HardenDllSearch();
}

}  // namespace orvik
