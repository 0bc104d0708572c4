// The drive query of the CD-drive search over Win32.
#pragma once

#include "ui/drives.h"

namespace orvik {

class Win32Drives : public Drives {
 public:
  bool IsCdRom(char letter) override;
};

}  // namespace orvik
