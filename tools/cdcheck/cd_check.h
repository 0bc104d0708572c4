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
// `pressed_image`: the CD as it goes to the press, not an author's folder,
// so its root must also hold the programs that start the installation.
CheckResult CheckCd(FileSystem& files, char drive, bool pressed_image = false);

}  // namespace orvik::cdcheck
