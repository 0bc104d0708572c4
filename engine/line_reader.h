// Reads a File line by line the way the installer's text files are read:
// a line is the bytes through the next line feed, kept as stored (no
// line-end translation), optionally capped at a number of bytes, in which
// case the rest of a longer line is returned by the next read.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "engine/file_system.h"

namespace orvik {

class LineReader {
 public:
  static constexpr std::size_t kUnlimited = 0;

  explicit LineReader(File& file) : file_(file), buffer_(kBlockSize) {}

  // Replaces `line` with the next line. False when nothing was left to read
  // (the end of the file, or a read error: see failed()).
  bool ReadLine(std::string& line, std::size_t max_bytes = kUnlimited);
  bool failed() const { return failed_; }

 private:
  static constexpr std::size_t kBlockSize = 4096;
  bool Refill();

  File& file_;
  std::vector<char> buffer_;
  std::size_t begin_ = 0;
  std::size_t end_ = 0;
  bool at_end_ = false;
  bool failed_ = false;
};

}  // namespace orvik
