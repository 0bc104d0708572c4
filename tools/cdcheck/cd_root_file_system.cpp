#include "tools/cdcheck/cd_root_file_system.h"

#include "engine/ascii.h"
#include "engine/cd_format.h"
#include "engine/windows_path.h"
#include "tools/cdcheck/cd_path.h"

namespace orvik::cdcheck {

namespace {


}  // namespace

CdRootFileSystem::CdRootFileSystem(std::unique_ptr<FileSystem> host, char drive,
                                   std::string root)
    : host_(std::move(host)),
      drive_(AsciiUpper(drive)),
      root_(FolderPrefix(std::move(root))) {}

// Resolved here rather than by the host, which would take "D:\..\x" to
// the folder above the CD's.
std::optional<std::string> CdRootFileSystem::HostPath(const std::string& path) const {
  const auto components = CdPathComponents(path, drive_);
  if (!components) return std::nullopt;
  if (components->empty()) return root_ + "\\";
  std::string host = root_;
  for (const auto& name : *components) host += "\\" + name;
  return host;
}

std::unique_ptr<File> CdRootFileSystem::OpenForReading(const std::string& path) {
  const auto host_path = HostPath(path);
  if (!host_path) return nullptr;
  return host_->OpenForReading(*host_path);
}

CreateFolderResult CdRootFileSystem::CreateFolder(const std::string&) {
  return CreateFolderResult::kOtherError;
}

bool CdRootFileSystem::SetCurrentFolder(const std::string&) { return false; }

bool CdRootFileSystem::RemoveFile(const std::string&) { return false; }

char CdRootFileSystem::CurrentDriveLetter() { return cd_format::kNoDriveLetter; }

}  // namespace orvik::cdcheck
