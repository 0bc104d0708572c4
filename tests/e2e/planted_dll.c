/* A DLL planted beside setup.exe under the name of a system DLL. When any
 * process maps it and runs its entry point, it leaves an empty file
 * "<its own path>.loaded" behind; the test looks for those files.
 * Touch is an entry point for rundll32, which shows that the mark works. */
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  (void)reserved;
  if (reason == DLL_PROCESS_ATTACH) {
    WCHAR path[MAX_PATH + 8];
    DWORD length = GetModuleFileNameW(instance, path, MAX_PATH);
    if (length > 0 && length < MAX_PATH) {
      lstrcatW(path, L".loaded");
      HANDLE mark = CreateFileW(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, NULL);
      if (mark != INVALID_HANDLE_VALUE) CloseHandle(mark);
    }
  }
  return TRUE;
}

__declspec(dllexport) void CALLBACK Touch(HWND window, HINSTANCE instance,
                                          LPSTR command_line, int show) {
  (void)window;
  (void)instance;
  (void)command_line;
  (void)show;
}
