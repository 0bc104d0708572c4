// The engine's file interface over POSIX files, with drive letters mapped
// onto host folders the way Wine maps them: "D:\install\x" is the file
// install/x inside the folder of drive D. Paths resolve as on Windows:
// both separators, "." and ".." (never above the drive's root), names
// matched without regard to case (unless asked to match them exactly),
// "\x" and "x" against the current drive and folder. Used natively by the
// tests, the fuzzers, the tools and the benchmark.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "engine/file_system.h"

namespace orvik {

// How names are matched to host entries. Ignoring case costs a scan of
// the folder for every name that does not exist as spelled; the benchmark
// takes names as spelled, so that it measures the engine, not the scans.
enum class NameMatching { kIgnoreCase, kExact };

class PosixFileSystem : public FileSystem {
 public:
  explicit PosixFileSystem(NameMatching matching = NameMatching::kIgnoreCase)
      : matching_(matching) {}

  // Maps drive `letter` (any case) onto `host_folder`.
  void MapDrive(char letter, const std::string& host_folder);
  // Makes `letter` the current drive with its root as the current folder.
  void SetCurrentDrive(char letter);

  // The host path that a Windows path names, or nothing when the path
  // cannot name a file there (no such drive, UNC path, bad characters).
  // Components that do not exist yet are kept as spelled.
  std::optional<std::string> HostPath(const std::string& windows_path) const;
  // The current folder as a Windows path, "C:\orvik8".
  std::string CurrentFolder() const;

  std::unique_ptr<File> OpenForReading(const std::string& path) override;
  std::unique_ptr<File> CreateExclusive(const std::string& path) override;
  bool MoveReplacing(const std::string& from, const std::string& to) override;
  MoveResult MoveToNewName(const std::string& from, const std::string& to) override;
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

 private:
  struct Location {
    char drive = 0;
    std::vector<std::string> components;
  };
  std::optional<Location> Resolve(const std::string& windows_path) const;
  std::optional<std::string> ToHostPath(const Location& location) const;
  std::string SpelledHostPath(const Location& location) const;
  std::string MatchEntry(const std::string& folder, const std::string& name) const;
  std::optional<std::string> EntryHostPath(const std::string& windows_path) const;

  NameMatching matching_;
  std::map<char, std::string> drives_;
  char current_drive_ = 0;
  std::vector<std::string> current_components_;
};

}  // namespace orvik
