// Setup's installation run by the copy engine itself over the CD and a
// destination folder held in memory, so that what the checker says an
// installation copies, and where it stops, is what Setup does.
#pragma once

#include <memory>
#include <set>
#include <string>

#include "engine/copy_engine.h"
#include "engine/file_system.h"
#include "tools/cdcheck/cd_access.h"

namespace orvik::cdcheck {

// Reads go to the CD; the files the engine creates, moves and removes are
// recorded here by name, their bytes discarded, and nothing reaches the
// host. Names
// compare ignoring case, as Windows compares them. Relative paths name
// nothing, as on the CD. It offers no background queue, so the engine
// does all its work, and every change of the record, on the caller's thread.
class DryRunFileSystem : public FileSystem {
 public:
  // The files at `line_capped` (the copy lists) are read with every line
  // cut after kMostKeptLineBytes, as the checker reads them, so that a
  // list of one endless line cannot take the memory.
  DryRunFileSystem(FileSystem& cd, std::set<std::string> line_capped);

  std::unique_ptr<File> OpenForReading(const std::string& path) override;
  std::unique_ptr<File> CreateExclusive(const std::string& path) override;
  bool MoveReplacing(const std::string& from, const std::string& to) override;
  bool Exists(const std::string& path) override;
  CreateFolderResult CreateFolder(const std::string& path) override;
  bool SetCurrentFolder(const std::string& path) override;
  bool RemoveFile(const std::string& path) override;
  char CurrentDriveLetter() override;

 private:
  FileSystem& cd_;
  std::set<std::string> line_capped_;  // case folded
  std::set<std::string> files_;  // case folded, in the destination
};

// The installation in `language` into an empty destination folder, as
// Setup's dialog makes it from the CD. The process's state that the engine
// keeps between runs (the product version, the copy list's name) is left
// as it was.
CopyReport DryRunInstallation(const Cd& cd, char language);

}  // namespace orvik::cdcheck
