// orvik-cdcheck's check of a whole CD: the install folder's message files
// and copy lists, read through Setup's own reader and parser.
#pragma once

#include "engine/file_system.h"
#include "tools/cdcheck/findings.h"

namespace orvik::cdcheck {

// The drive the checker puts the CD in, as the tests and Wine do.
constexpr char kCdDrive = 'D';

// Reads the CD in `drive` of `files`. Paths off that drive, the current
// folder among them, must name nothing: Setup would look there first.
CheckResult CheckCd(FileSystem& files, char drive);

}  // namespace orvik::cdcheck
