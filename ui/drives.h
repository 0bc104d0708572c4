// The drive queries of the CD-drive search.
#pragma once

#include <cstdint>
#include <string>

namespace orvik {

// The drive type that the search looks for (DRIVE_CDROM).
constexpr unsigned kDriveCdRom = 5;

class Drives {
 public:
  virtual ~Drives() = default;
  // Bit i set when the drive of letter 'a' + i is present.
  virtual std::uint32_t LogicalDriveMask() = 0;
  // The type of the drive whose root ("d:\") is given.
  virtual unsigned DriveType(const std::string& root) = 0;
};

}  // namespace orvik
