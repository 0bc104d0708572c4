// What every program of ours does first on Windows.
#pragma once

#include <windows.h>

namespace orvik {

// Probing a CD-ROM drive without a disc fails quietly instead of asking for
// one, and system DLLs are loaded from the system folder only, never from
// beside the program (a setup program is often started from a folder full
// of other downloads). Call it before any window exists.
void ApplyProcessHygiene();

// A function of a system DLL, the DLL loaded from the system folder; null
// when either is missing. For DLLs the programs must not import: the
// loader resolves an import before any of our code runs, and Wine then
// looks for the imported DLL's own imports beside the program.
FARPROC SystemProcedure(const char* dll, const char* name);

template <typename Function>
Function SystemFunction(const char* dll, const char* name) {
  return reinterpret_cast<Function>(
      reinterpret_cast<void*>(SystemProcedure(dll, name)));
}

}  // namespace orvik
