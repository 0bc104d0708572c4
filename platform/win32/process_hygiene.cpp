#include "platform/win32/process_hygiene.h"

#include <string>

namespace orvik {

namespace {

// System DLLs that Windows or Wine load by bare name after start-up for
// these programs: with the common controls, when the dialog is drawn, for
// the desktop folder and the shortcut. Each is loaded here once from the
// system folder and kept for the life of the process (its handle is never
// freed on purpose), so that every later load by name finds it in memory
// and no search ever looks beside the program. A name the system lacks is
// passed over.
const char* const kPreloadedSystemDlls[] = {
    "uxtheme.dll",  "msimg32.dll",  "version.dll",         "shcore.dll",
    "shlwapi.dll",  "shell32.dll",  "dwmapi.dll",          "cryptbase.dll",
    "oleacc.dll",   "propsys.dll",  "userenv.dll",         "profapi.dll",
    "sspicli.dll",  "msctf.dll",    "windows.storage.dll", "kernel.appcore.dll",
    "wldp.dll",
};

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

// Windows 7 without its loader update rejects the search flags; there the
// full path does the same, and the altered search order takes the DLL's
// own imports from the system folder too.
HMODULE LoadFromSystemFolder(const char* name) {
  HMODULE module = ::LoadLibraryExA(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  if (module != nullptr || ::GetLastError() != ERROR_INVALID_PARAMETER) return module;
  char folder[MAX_PATH];
  const UINT length = ::GetSystemDirectoryA(folder, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return nullptr;
  const std::string path = std::string(folder, length) + "\\" + name;
  return ::LoadLibraryExA(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

void PreloadSystemDlls() {
  for (const char* name : kPreloadedSystemDlls) LoadFromSystemFolder(name);
}

}  // namespace

void ApplyProcessHygiene() {
  SetQuietErrorMode();
  HardenDllSearch();
  PreloadSystemDlls();
}

FARPROC SystemProcedure(const char* dll, const char* name) {
  HMODULE module = ::GetModuleHandleA(dll);
  if (module == nullptr) module = LoadFromSystemFolder(dll);
  return module == nullptr ? nullptr : ::GetProcAddress(module, name);
}

}  // namespace orvik
