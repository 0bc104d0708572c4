// orvik-install --uninstall: takes away exactly what an installation put
// there, as its receipt lists it.
#pragma once

#include "app/unattended.h"

namespace orvik {

// The key of Windows' list of installed programs for a CD of `version`.
std::string RegistrationKey(int version);

// Returns the exit status; the lock is taken and the log open.
int RemoveInstallation(const UnattendedOptions& options, UnattendedHost& host, bool elevated);

}  // namespace orvik
