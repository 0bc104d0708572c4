// The drive query of the CD-drive search.
#pragma once

namespace orvik {

class Drives {
 public:
  virtual ~Drives() = default;
  // True when the drive of `letter` ('a' to 'z') is present and is a
  // CD-ROM drive. Asking never raises a prompt, with or without a disc.
  virtual bool IsCdRom(char letter) = 0;
};

}  // namespace orvik
