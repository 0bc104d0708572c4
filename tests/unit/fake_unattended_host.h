// A host for the unattended run over POSIX folders, shared by the unit
// tests and the allocation-failure test.
#pragma once

#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "app/unattended.h"
#include "platform/posix/posix_file_system.h"
#include "tests/unit/fakes.h"
#include "tests/unit/test_support.h"

namespace orvik::testing {

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
  // Nothing is allocated once the file is written, as in the real host.
  bool ReplaceFile(const std::string& path, const std::string& content) override {
    const auto host_path = files.HostPath(path);
    if (!host_path) return false;
    std::FILE* file = std::fopen(host_path->c_str(), "wb");
    if (file == nullptr) return false;
    const bool written = std::fwrite(content.data(), 1, content.size(), file) == content.size();
    return std::fclose(file) == 0 && written;
  }
  std::string UtcTime() override { return "2026-12-08T14:03:11Z"; }
  std::FILE* OpenLog(const std::string& path) override {
    const auto host_path = files.HostPath(path);
    return host_path ? std::fopen(host_path->c_str(), "wb") : nullptr;
  }
  void WriteOutput(const std::string& text) override { output += text; }
  void WriteError(const std::string& text) override { errors += text; }

  TempFolder drive_c;
  PosixFileSystem files;
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
};

}  // namespace orvik::testing
