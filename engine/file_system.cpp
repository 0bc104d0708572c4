#include "engine/file_system.h"

#include <new>

namespace orvik {

std::unique_ptr<char[]> FileSystem::AllocateBuffer(std::size_t size) {
  return std::unique_ptr<char[]>(new (std::nothrow) char[size]);
}

std::unique_ptr<File> FileSystem::CreateExclusive(const std::string&) {
  return nullptr;
}

bool FileSystem::MoveReplacing(const std::string&, const std::string&) {
  return false;
}

FileSystem::MoveResult FileSystem::MoveToNewName(const std::string& from,
                                                const std::string& to) {
  if (Exists(to)) return MoveResult::kNameTaken;
  return MoveReplacing(from, to) ? MoveResult::kMoved : MoveResult::kFailed;
}

std::unique_ptr<BackgroundQueue> FileSystem::StartBackgroundQueue() { return nullptr; }

bool FileSystem::InUse(const std::string&) { return false; }

bool FileSystem::MoveAtRestart(const std::string&, const std::string&) { return false; }

std::vector<std::string> FileSystem::FolderEntries(const std::string&) { return {}; }

bool FileSystem::RemoveFolder(const std::string&) { return false; }

bool FileSystem::Exists(const std::string& path) {
  auto file = OpenForReading(path);
  if (!file) return false;
  file->Close();
  return true;
}

bool FileSystem::SameFile(const std::string&, const std::string&) {
  return false;
}

bool FileSystem::IsLink(const std::string&) { return false; }

namespace {

class UnheldFolder : public HeldFolder {
 public:
  explicit UnheldFolder(FolderState state) : state_(state) {}
  FolderState state() const override { return state_; }

 private:
  FolderState state_;
};

}  // namespace

std::unique_ptr<HeldFolder> FileSystem::HoldFolder(const std::string& path) {
  return std::make_unique<UnheldFolder>(IsLink(path) ? FolderState::kLink
                                                     : FolderState::kFolder);
}

}  // namespace orvik
