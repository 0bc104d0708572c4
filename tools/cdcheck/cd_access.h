// Reading the CD as Setup reads it: through the engine's file interface,
// with the CD in a drive of its own.
#pragma once

#include <cstdint>
#include <functional>
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

// The formats allow 99 and 199 bytes a line. Of a longer line the checker
// keeps this much, enough to report it and more than the 14 lines of 199
// bytes that Setup reads of a message file, so that a file of one endless
// line cannot take the memory.
constexpr std::size_t kMostKeptLineBytes = 4096;

struct FileLines {
  // Each with its line end, as stored; a line over kMostKeptLineBytes is
  // cut to its first bytes and its line end.
  std::vector<std::string> lines;
  std::vector<std::uint64_t> sizes;  // of each line as stored
  bool read_error = false;
};

// The lines of an open file as LineReader reads them with `max_bytes`
// (kUnlimited: whole lines, cut as said above).
FileLines ReadLines(File& file, std::size_t max_bytes);

// `file` with every line cut after kMostKeptLineBytes bytes (its line feed
// kept), for the parsers of the engine, which read a line whole: entries
// that long name no file either way.
class LineCappedFile : public File {
 public:
  explicit LineCappedFile(File& file) : file_(file) {}
  std::int64_t Read(char* buffer, std::size_t size) override;
  std::size_t Write(const char*, std::size_t) override { return 0; }
  bool Close() override { return true; }

 private:
  File& file_;
  std::size_t in_line_ = 0;
};

struct FileContent {
  std::uint64_t size = 0;
  std::string bytes;  // only when asked for
  bool read_error = false;
};

// Reads the file to its end, counting its bytes and keeping them if asked.
FileContent ReadContent(File& file, bool keep_bytes);

// Reads the file to its end in blocks of a fixed size, handing each to
// `block`; true when no read failed.
bool ReadBlocks(File& file, const std::function<void(const char*, std::size_t)>& block);

}  // namespace orvik::cdcheck
