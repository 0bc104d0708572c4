// A host for the unattended run over POSIX folders, shared by the unit
// tests and the allocation-failure test.
#pragma once

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "app/unattended.h"
#include "platform/posix/posix_file_system.h"
#include "tests/unit/fakes.h"
#include "tests/unit/test_support.h"

namespace orvik::testing {

// POSIX folders with files that another program holds open, as named.
class FilesInUse : public PosixFileSystem {
 public:
  bool InUse(const std::string& path) override { return in_use.count(path) != 0; }
  bool MoveAtRestart(const std::string& from, const std::string& to) override {
    at_restart.push_back({from, to});
    return true;
  }
  // What Windows does with the moves left for its next start.
  void Restart() {
    for (const auto& [from, to] : at_restart) to.empty() ? RemoveFile(from) : MoveReplacing(from, to);
    at_restart.clear();
  }

  std::set<std::string> in_use;
  std::vector<std::pair<std::string, std::string>> at_restart;
};

// A host over drive C (current, fixed) and the sample CD on CD-ROM drive
// f, as the unattended run sees them, started from C:\tools.
class UnattendedHostFake : public UnattendedHost {
 public:
  UnattendedHostFake() {
    files.MapDrive('C', drive_c.path());
    files.MapDrive('F', ORVIK_SAMPLE_CD);
    files.SetCurrentDrive('C');
    drives.AddCdRom('f');
    drive_c.MakeFolder("tools");
  }
  InstallServices Services() override { return {files, drives, shell}; }
  std::string ModuleFolder() override { return module_folder; }
  // The program's file is made where the module folder says it is.
  std::string ModulePath() override {
    const std::string path = module_folder + "\\orvik-install.exe";
    if (!files.Exists(path)) {
      const auto host_path = files.HostPath(path);
      if (host_path) std::ofstream(*host_path, std::ios::binary) << "the program";
    }
    return path;
  }
  std::string CommandLine() override { return "orvik-install.exe --test"; }
  std::string AccountName() override { return "HOST\\Ann"; }
  std::string FullPath(const std::string& path) override { return path; }
  Account RunningAccount() override { return account; }
  bool TakeInstallLock() override { return lock_free; }
  bool CreateFolder(const std::string& folder, bool restricted) override {
    created.push_back(folder + (restricted ? " restricted" : ""));
    return files.CreateFolder(folder) == CreateFolderResult::kCreated;
  }
  bool OnlyAdministratorsCanChange(const std::string& folder, bool receives_files) override {
    checked.push_back(folder + (receives_files ? " receives" : ""));
    return user_controlled.count(folder) == 0;
  }
  std::string UtcTime() override { return "2026-12-08T14:03:11Z"; }
  std::FILE* OpenLog(const std::string& path) override {
    const auto host_path = files.HostPath(path);
    return host_path ? std::fopen(host_path->c_str(), "ab") : nullptr;
  }
  bool Register(const Registration& entry, bool machine) override {
    registry[{entry.key, machine}] = entry;
    return registry_writable;
  }
  bool Unregister(const std::string& key, bool machine) override {
    return registry.erase({key, machine}) != 0;
  }
  std::optional<std::string> RegisteredFolder(const std::string& key, bool machine) override {
    const auto found = registry.find({key, machine});
    if (found == registry.end()) return std::nullopt;
    return found->second.install_location;
  }
  std::string ProgramsUsing(const std::string&) override { return "Orvik (42)"; }
  void WriteOutput(const std::string& text) override { output += text; }
  void WriteError(const std::string& text) override { errors += text; }

  TempFolder drive_c;
  FilesInUse files;
  testing::FakeDrives drives;
  testing::FakeShell shell;
  std::string module_folder = "C:\\tools";
  Account account = Account::kUser;
  bool lock_free = true;
  std::vector<std::string> created;
  std::vector<std::string> checked;
  std::set<std::string> user_controlled;
  std::string output;
  std::string errors;
  std::map<std::pair<std::string, bool>, Registration> registry;
  bool registry_writable = true;
};

}  // namespace orvik::testing
