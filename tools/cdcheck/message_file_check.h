// Checks of the install message files: which of them the CD has, which
// one each language reads, and whether Setup's reader returns every text
// as its author wrote it.
#pragma once

#include <map>
#include <string>

#include "tools/cdcheck/cd_access.h"
#include "tools/cdcheck/findings.h"

namespace orvik::cdcheck {

struct MessageFileUse {
  // 8, 7 when the CD has only the legacy file, 0 when it has none.
  int product_version = 0;
  // Display name of the file each language reads; absent when none.
  std::map<char, std::string> file_of_language;
  // The product version that file makes Setup take; absent when none.
  std::map<char, int> version_of_language;
};

MessageFileUse CheckMessageFiles(const Cd& cd, Diagnostics& out);

// One message file, read by Setup for `language` ("\install\dinstall.dat"
// with 'd').
void CheckMessageFile(const Cd& cd, const std::string& name_on_cd,
                      char language, Diagnostics& out);

}  // namespace orvik::cdcheck
