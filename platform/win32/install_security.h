// What orvik-install does differently when it runs elevated, as deployment
// systems run it: folders it creates get the access list of Program Files,
// and a destination that is a link is not installed through.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "app/unattended.h"

namespace orvik {

// The running process's user (a TOKEN_USER in a buffer of its size), or
// null when it cannot be read; RunningUserSid is its SID.
std::unique_ptr<char[]> RunningUser();
PSID RunningUserSid(const std::unique_ptr<char[]>& user);

// SYSTEM (S-1-5-18), a member of the Administrators group with the group
// enabled (elevated), or neither.
Account CurrentAccount();

// Creates one folder; `restricted` makes Administrators its owner and gives
// Administrators and SYSTEM full control and Users read and execute,
// nothing inherited from the parent, set at creation so there is no moment
// with a wider list.
bool CreateInstallFolder(const std::string& path, bool restricted);

// Whether the folder's owner and access list leave it to administrators
// alone; see UnattendedHost::OnlyAdministratorsCanChange.
bool OnlyAdministratorsControl(const std::string& path, bool receives_files);

}  // namespace orvik
