// SHA-256, for the receipt's record of each installed file: the removal
// tells by it whether a file is still the one that was installed.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace orvik {

class Sha256 {
 public:
  Sha256();
  void Add(const char* data, std::size_t size);
  // The digest in lower-case hex; the object is spent afterwards.
  std::string HexDigest();

 private:
  void Compress(const unsigned char* block);

  std::array<std::uint32_t, 8> state_;
  std::array<unsigned char, 64> block_{};
  std::size_t block_used_ = 0;
  std::uint64_t total_bytes_ = 0;
};

}  // namespace orvik
