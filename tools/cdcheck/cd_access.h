// Reading the CD as Setup reads it: through the engine's file interface,
// with the CD in a drive of its own.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/cd_format.h"
#include "engine/file_system.h"

namespace orvik::cdcheck {

// The languages that Setup's dialog offers, in its order.
using cd_format::kLanguages;
using cd_format::Language;

const char* LanguageName(char letter);

class Cd {
 public:
  // Paths that do not begin with `drive` must name nothing in `files`, or
  // Setup's lookup in the current folder would find files off the CD.
  Cd(FileSystem& files, char drive) : files_(files), drive_(drive) {}

  FileSystem& files() const { return files_; }
  char drive() const { return drive_; }

  // "\install\x" gives "D:\install\x".
  std::string Path(const std::string& name_on_cd) const;
  std::unique_ptr<File> Open(const std::string& name_on_cd) const;
  bool Exists(const std::string& name_on_cd) const;

 private:
  FileSystem& files_;
  char drive_;
};

struct FileLines {
  std::vector<std::string> lines;  // each with its line end, as stored
  bool read_error = false;
};

// The lines of an open file as LineReader reads them with `max_bytes`.
FileLines ReadLines(File& file, std::size_t max_bytes);

struct FileContent {
  std::uint64_t size = 0;
  std::string bytes;  // only when asked for
  bool read_error = false;
};

// Reads the file to its end, counting its bytes and keeping them if asked.
FileContent ReadContent(File& file, bool keep_bytes);

}  // namespace orvik::cdcheck
