// A stand-in for the Orvik 8 program on the sample CD, so that the desktop
// shortcut made by Setup starts a real program.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  ::MessageBoxA(nullptr,
                "Orvik 8.0 is installed.\n\n"
                "This program stands in for the product on the sample CD.",
                "Orvik 8.0", MB_OK | MB_ICONINFORMATION);
  return 0;
}
