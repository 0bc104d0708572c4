// One installation at a time on a machine: orvik-install and setup.exe
// both hold a named mutex in the global namespace while they run, so that
// a deployment system's run and a user's dialog cannot copy at once.
#pragma once

#include "platform/win32/scoped_win.h"

namespace orvik {

class InstallLock {
 public:
  InstallLock() = default;
  InstallLock(const InstallLock&) = delete;
  InstallLock& operator=(const InstallLock&) = delete;

  // False when another process holds it. Taking it twice is harmless.
  bool Take();

 private:
  ScopedHandle mutex_;
};

}  // namespace orvik
