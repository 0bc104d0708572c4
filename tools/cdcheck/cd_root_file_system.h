// A CD whose root is a folder, for Windows, where the folder is no drive:
// "D:\install\x" names FOLDER\install\x in the file system underneath.
// Every other path names nothing, so that Setup's lookup in the current
// folder cannot find files off the CD. Read-only: the check never writes.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "engine/file_system.h"

namespace orvik::cdcheck {

class CdRootFileSystem : public FileSystem {
 public:
  CdRootFileSystem(std::unique_ptr<FileSystem> host, char drive, std::string root);

  // The host path for a path on the CD's drive, always inside the folder,
  // or nothing.
  std::optional<std::string> HostPath(const std::string& path) const;

  std::unique_ptr<File> OpenForReading(const std::string& path) override;
  CreateFolderResult CreateFolder(const std::string& path) override;
  bool SetCurrentFolder(const std::string& path) override;
  bool RemoveFile(const std::string& path) override;
  char CurrentDriveLetter() override;

 private:
  std::unique_ptr<FileSystem> host_;
  char drive_;
  std::string root_;  // without a trailing separator: "E:", "C:\cd"
};

}  // namespace orvik::cdcheck
