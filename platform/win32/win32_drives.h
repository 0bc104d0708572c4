// The drive queries of the CD-drive search over Win32.
#pragma once

#include "ui/drives.h"

namespace orvik {

class Win32Drives : public Drives {
 public:
  std::uint32_t LogicalDriveMask() override;
  unsigned DriveType(const std::string& root) override;
};

}  // namespace orvik
