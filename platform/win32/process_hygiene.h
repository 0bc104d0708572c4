// What every program of ours does first on Windows.
#pragma once

namespace orvik {

// Probing a CD-ROM drive without a disc fails quietly instead of asking for
// one, and system DLLs are loaded from the system folder only, never from
// beside the program (a setup program is often started from a folder full
// of other downloads).
void ApplyProcessHygiene();

}  // namespace orvik
