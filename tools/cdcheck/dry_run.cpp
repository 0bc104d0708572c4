#include "tools/cdcheck/dry_run.h"

#include <algorithm>
#include <iterator>
#include <utility>

#include "engine/cd_format.h"
#include "engine/install_message.h"
#include "tools/cdcheck/cp1252.h"

namespace orvik::cdcheck {

namespace {

// Accepts every byte and keeps none.
class DiscardingFile : public File {
 public:
  std::int64_t Read(char*, std::size_t) override { return kReadError; }
  std::size_t Write(const char*, std::size_t size) override { return size; }
  bool Close() override { return true; }
};

// A file of the CD read with its lines capped, owning it.
class CappedCdFile : public File {
 public:
  explicit CappedCdFile(std::unique_ptr<File> file)
      : file_(std::move(file)), capped_(*file_) {}
  std::int64_t Read(char* buffer, std::size_t size) override {
    return capped_.Read(buffer, size);
  }
  std::size_t Write(const char*, std::size_t) override { return 0; }
  bool Close() override { return file_->Close(); }

 private:
  std::unique_ptr<File> file_;
  LineCappedFile capped_;
};

// The engine's state between runs, which a check must not change for
// whoever runs next in this process.
class EngineStateKeeper {
 public:
  EngineStateKeeper() : version_(g_nProductVersion) {
    std::copy(std::begin(g_szCopyListName), std::end(g_szCopyListName),
              std::begin(copy_list_name_));
  }
  ~EngineStateKeeper() {
    g_nProductVersion = version_;
    std::copy(std::begin(copy_list_name_), std::end(copy_list_name_),
              std::begin(g_szCopyListName));
  }
  EngineStateKeeper(const EngineStateKeeper&) = delete;
  EngineStateKeeper& operator=(const EngineStateKeeper&) = delete;

 private:
  int version_;
  char copy_list_name_[sizeof g_szCopyListName];
};

}  // namespace

DryRunFileSystem::DryRunFileSystem(FileSystem& cd, std::set<std::string> line_capped)
    : cd_(cd) {
  for (const auto& path : line_capped) line_capped_.insert(FoldCase(path));
}

std::unique_ptr<File> DryRunFileSystem::OpenForReading(const std::string& path) {
  auto file = cd_.OpenForReading(path);
  if (file && line_capped_.count(FoldCase(path)) != 0)
    return std::make_unique<CappedCdFile>(std::move(file));
  return file;
}

std::unique_ptr<File> DryRunFileSystem::CreateExclusive(const std::string& path) {
  if (Exists(path)) return nullptr;
  files_.insert(FoldCase(path));
  return std::make_unique<DiscardingFile>();
}

bool DryRunFileSystem::MoveReplacing(const std::string& from, const std::string& to) {
  if (files_.erase(FoldCase(from)) == 0) return false;
  files_.insert(FoldCase(to));
  return true;
}

bool DryRunFileSystem::Exists(const std::string& path) {
  return files_.count(FoldCase(path)) != 0 || cd_.Exists(path);
}

CreateFolderResult DryRunFileSystem::CreateFolder(const std::string&) {
  return CreateFolderResult::kCreated;
}

bool DryRunFileSystem::SetCurrentFolder(const std::string&) { return true; }

bool DryRunFileSystem::RemoveFile(const std::string& path) {
  return files_.erase(FoldCase(path)) != 0;
}

char DryRunFileSystem::CurrentDriveLetter() { return cd_format::kNoDriveLetter; }

CopyReport DryRunInstallation(const Cd& cd, char language) {
  const EngineStateKeeper keeper;
  std::set<std::string> copy_lists;
  for (const char letter : cd_format::CopyListLetters(language))
    copy_lists.insert(cd.Path(cd_format::CopyListOnSource(letter)));
  DryRunFileSystem files(cd.files(), std::move(copy_lists));
  CopyRequest request;
  request.source = CdDrive(cd.drive());
  request.language = language;
  request.dest_dir = cd_format::DefaultDestFolder(cd_format::kCurrentProductVersion);
  return CopyInstallFiles(files, request);
}

}  // namespace orvik::cdcheck
