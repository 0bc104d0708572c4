// The engine's file interface over Win32 files, in the ANSI code page.
#pragma once

#include <windows.h>

#include <string>

#include "engine/file_system.h"

namespace orvik {

class Win32FileSystem : public FileSystem {
 public:
  std::unique_ptr<File> OpenForReading(const std::string& path) override;
  std::unique_ptr<File> CreateExclusive(const std::string& path) override;
  bool MoveReplacing(const std::string& from, const std::string& to) override;
  MoveResult MoveToNewName(const std::string& from, const std::string& to) override;
  std::unique_ptr<BackgroundQueue> StartBackgroundQueue() override;
  bool InUse(const std::string& path) override;
  bool MoveAtRestart(const std::string& from, const std::string& to) override;
  std::vector<std::string> FolderEntries(const std::string& folder) override;
  bool RemoveFolder(const std::string& folder) override;
  bool Exists(const std::string& path) override;
  bool SameFile(const std::string& a, const std::string& b) override;
  bool IsLink(const std::string& path) override;
  std::unique_ptr<HeldFolder> HoldFolder(const std::string& path) override;
  CreateFolderResult CreateFolder(const std::string& path) override;
  bool SetCurrentFolder(const std::string& path) override;
  bool RemoveFile(const std::string& path) override;
  char CurrentDriveLetter() override;
};

// The path of `module`'s file (nullptr: the program's), however long;
// empty when Windows cannot tell.
std::string ModuleFileName(HMODULE module);

// 1 for A, 2 for B, ...; 0 when the current folder has no drive letter.
int CurrentDriveNumber();

}  // namespace orvik
