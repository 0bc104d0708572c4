// The one way this program writes a file that others may read while it is
// written: under a temporary name created exclusively beside it, flushed,
// and moved over its name only when complete. A failed write leaves the
// earlier file (or none), never half of one, and never writes through a
// link planted at the name.
#pragma once

#include <memory>
#include <string>

#include "engine/file_system.h"

namespace orvik {

// Each file is written under such a name beside its destination. A name
// that is taken (left over, or planted) is skipped for the next one.
inline constexpr char kTemporaryPrefix[] = "\\~orvik";
inline constexpr char kTemporarySuffix[] = ".tmp";
inline constexpr int kTemporaryNameTries = 100;

// The temporary file of one copy: removed unless it was moved into place,
// whichever way the copy ends.
class TemporaryFile {
 public:
  explicit TemporaryFile(FileSystem& files) : files_(files) {}
  ~TemporaryFile() { Discard(); }
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;

  // Creates the first free name in `folder` from number `next` on, and
  // leaves `next` past it: a run's files, one finishing while the next is
  // written, then take names of their own without trying a taken one.
  bool Create(const std::string& folder, unsigned& next) {
    for (int attempt = 0; attempt < kTemporaryNameTries; ++attempt) {
      const std::string path = folder + kTemporaryPrefix +
                               std::to_string(next++) + kTemporarySuffix;
      file_ = files_.CreateExclusive(path);
      if (file_) {
        path_ = path;
        return true;
      }
      // Only a name in use is worth another try.
      if (!files_.Exists(path)) return false;
    }
    return false;
  }

  File& file() { return *file_; }
  const std::string& path() const { return path_; }

  // Gives up the name: it is no longer ours to remove.
  void Release() { path_.clear(); }

  // Moves the file, closed by now, over `dest_path`; false when the move
  // fails (the file is then removed with this object).
  bool MoveTo(const std::string& dest_path) {
    if (!files_.MoveReplacing(path_, dest_path)) return false;
    path_.clear();
    return true;
  }

  // Moves the file at `dest_path` here, so that this name keeps it.
  bool TakeOver(const std::string& dest_path) {
    file_.reset();
    return files_.MoveReplacing(dest_path, path_);
  }

 private:
  void Discard() {
    file_.reset();
    if (!path_.empty()) files_.RemoveFile(path_);
    path_.clear();
  }

  FileSystem& files_;
  std::unique_ptr<File> file_;
  std::string path_;
};

// Writes `content` to `path` that way; false when any step fails.
bool WriteFileInPlace(FileSystem& files, const std::string& path, const std::string& content);

// Copies the file `from` to `to` that way.
bool CopyFileInPlace(FileSystem& files, const std::string& from, const std::string& to);

}  // namespace orvik
