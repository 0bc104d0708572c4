#include "engine/temporary_file.h"

#include <cstdint>

namespace orvik {

namespace {

constexpr std::size_t kCopyTransfer = 16384;

// The folder a temporary file for `path` is made in: the path's own.
std::string FolderOf(const std::string& path) {
  const auto cut = path.find_last_of("\\/");
  return cut == std::string::npos ? std::string(".") : path.substr(0, cut);
}

bool Complete(TemporaryFile& temporary, const std::string& path) {
  File& file = temporary.file();
  const bool flushed = file.Flush();
  return file.Close() && flushed && temporary.MoveTo(path);
}

}  // namespace

bool WriteFileInPlace(FileSystem& files, const std::string& path, const std::string& content) {
  TemporaryFile temporary(files);
  unsigned number = 0;
  if (!temporary.Create(FolderOf(path), number)) return false;
  if (temporary.file().Write(content.data(), content.size()) != content.size()) return false;
  return Complete(temporary, path);
}

bool CopyFileInPlace(FileSystem& files, const std::string& from, const std::string& to) {
  auto source = files.OpenForReading(from);
  if (!source) return false;
  char buffer[kCopyTransfer];
  TemporaryFile temporary(files);
  unsigned number = 0;
  if (!temporary.Create(FolderOf(to), number)) return false;
  for (;;) {
    const std::int64_t got = source->Read(buffer, kCopyTransfer);
    if (got == 0) break;
    if (got < 0) return false;
    const auto size = static_cast<std::size_t>(got);
    if (temporary.file().Write(buffer, size) != size) return false;
  }
  return Complete(temporary, to);
}

}  // namespace orvik
