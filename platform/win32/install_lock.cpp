#include "platform/win32/install_lock.h"

namespace orvik {

namespace {

// Global\: one per machine, across the sessions of users and services.
const char kInstallMutexName[] = "Global\\Ostmarrow.Orvik.Installation";

}  // namespace

bool InstallLock::Take() {
  if (mutex_.valid()) return true;
  // The mutex exists exactly while some process holds a handle to it; one
  // made by SYSTEM may not even be opened by a user (access denied), which
  // tells the same.
  // A mutex the system cannot make at all for another reason does not
  // stop the installation.
  ScopedHandle mutex(::CreateMutexA(nullptr, FALSE, kInstallMutexName));
  const DWORD error = ::GetLastError();
  if (!mutex.valid()) return error != ERROR_ACCESS_DENIED;
  if (error == ERROR_ALREADY_EXISTS) return false;
  mutex_ = std::move(mutex);
  return true;
}

}  // namespace orvik
