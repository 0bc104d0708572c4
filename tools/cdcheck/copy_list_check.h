// Checks of the copy lists: which one each language installs by, whether
// Setup can carry every entry out, and what lands in the destination
// folder.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "tools/cdcheck/cd_access.h"
#include "tools/cdcheck/findings.h"

namespace orvik::cdcheck {

// The names Setup tries for a language, in its order: the language's own
// list, then English unless the language is English, then the list
// without a language ("\install\dopylist.dat", "\install\eopylist.dat",
// "\install\copylist.dat").
std::vector<std::string> CopyListNames(char language);

struct LanguageInstall {
  std::string copy_list;  // display name; "" when there is none
  InstallPlan plan;
};

// Checks each copy list that some language uses, once. `versions` holds
// the product version each language's message file makes (8 when absent),
// which names the program the desktop shortcut points to.
std::map<char, LanguageInstall> CheckCopyLists(const Cd& cd,
                                               const std::map<char, int>& versions,
                                               Diagnostics& out);

}  // namespace orvik::cdcheck
