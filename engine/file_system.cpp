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

}  // namespace orvik
