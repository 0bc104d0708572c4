// The file operations the engine needs, behind an interface of our own so
// that the same logic runs over Win32, over POSIX folders that stand in for
// drives, and over fakes that fail on demand.
//
// Paths are Windows paths in the ANSI code page ("D:\install\x", "\x",
// "x"), resolved against the process's current drive and folder.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace orvik {

// Result of a block read: the number of bytes, or kReadError.
constexpr std::int64_t kReadError = -1;

class File {
 public:
  virtual ~File() = default;
  File() = default;
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  // Up to `size` bytes; 0 at the end of the file; kReadError on failure.
  virtual std::int64_t Read(char* buffer, std::size_t size) = 0;
  // The number of bytes written; fewer than `size` means the write failed.
  virtual std::size_t Write(const char* buffer, std::size_t size) = 0;
  // Writes what was written through to the disk (FlushFileBuffers, fsync),
  // so that a power loss after it cannot leave the file empty or holed;
  // false when that fails, as a full share may report only now. A file
  // opened for reading has nothing to flush.
  virtual bool Flush() { return true; }
  // Closes the handle; false when the system reports a failure on closing.
  // Closing does not flush: what is not flushed may still be lost.
  // Destroying an open file closes it too, ignoring the outcome.
  virtual bool Close() = 0;
};

// What is found at a folder's path, asked of the opened folder where the
// platform can open one.
enum class FolderState {
  kMissing,
  kFolder,
  kLink,        // a symbolic link or junction
  kNotAFolder,  // a file
  kNotHeld,     // a folder that cannot be opened and held
};

// A folder held open from the moment it is checked until its owner ends,
// so that it cannot be renamed, deleted or replaced by a link meanwhile.
// Windows and Wine refuse to rename or delete a folder that is open
// without delete sharing; POSIX holds nothing, so its stand-in only tells.
class HeldFolder {
 public:
  virtual ~HeldFolder() = default;
  HeldFolder() = default;
  HeldFolder(const HeldFolder&) = delete;
  HeldFolder& operator=(const HeldFolder&) = delete;

  virtual FolderState state() const = 0;
};

enum class CreateFolderResult {
  kCreated,
  // The path (its parent, its drive, its syntax) does not exist: the Win32
  // errors that the C runtime maps to ENOENT.
  kNoSuchPath,
  // Any other failure, among them "already exists" and "access denied".
  kOtherError,
};

// Runs jobs one at a time, in the order given, on a thread of its own.
class BackgroundQueue {
 public:
  virtual ~BackgroundQueue() = default;  // waits for the job in hand
  BackgroundQueue() = default;
  BackgroundQueue(const BackgroundQueue&) = delete;
  BackgroundQueue& operator=(const BackgroundQueue&) = delete;

  // Starts `job` once the one before it has ended. The job must not throw.
  virtual void Run(std::function<void()> job) = 0;
  // Returns when the job in hand, if any, has ended.
  virtual void Wait() = 0;
};

class FileSystem {
 public:
  virtual ~FileSystem() = default;

  // Null when the file cannot be opened.
  virtual std::unique_ptr<File> OpenForReading(const std::string& path) = 0;
  // Creates a new file that no other name or link stands for; null when
  // the name exists in any form (a link included) or cannot be created.
  // Read-only file systems keep the default, which cannot.
  virtual std::unique_ptr<File> CreateExclusive(const std::string& path);
  // Renames `from` to `to` in one step, replacing a file or link of that
  // name (never what a link points to). Durability is the caller's: flush
  // the file before.
  virtual bool MoveReplacing(const std::string& from, const std::string& to);
  // Renames `from` to `to` unless something of that name is there: the
  // common case of a new installation costs no look at the name before.
  enum class MoveResult { kMoved, kNameTaken, kFailed };
  virtual MoveResult MoveToNewName(const std::string& from, const std::string& to);
  // A thread of its own for work that may overlap the caller's, such as
  // flushing and moving one file while the next is read; null where the
  // platform offers none, and the work is then done in place.
  virtual std::unique_ptr<BackgroundQueue> StartBackgroundQueue();
  // Whether another program has the file open in a way that keeps it
  // from being replaced (a sharing violation); false when unknown.
  virtual bool InUse(const std::string& path);
  // Leaves `from` to replace `to` when the machine next starts, or with an
  // empty `to` to be removed then; false when that cannot be arranged (it
  // needs an administrator).
  virtual bool MoveAtRestart(const std::string& from, const std::string& to);
  // The names in a folder, files and folders, without "." and "..".
  virtual std::vector<std::string> FolderEntries(const std::string& folder);
  // Removes the folder if it is empty.
  virtual bool RemoveFolder(const std::string& folder);
  // Whether something of that name is there, even when it cannot be
  // opened; by default, whether it opens for reading.
  virtual bool Exists(const std::string& path);
  // Whether the two paths name one file (same volume, same file), the
  // final name of `b` taken as it is, not followed if it is a link.
  virtual bool SameFile(const std::string& a, const std::string& b);
  // Whether the path itself is a symbolic link or junction.
  virtual bool IsLink(const std::string& path);
  // Opens the folder at `path` and holds it until the result is destroyed.
  // By default nothing is held and the state is only whether it is a link.
  virtual std::unique_ptr<HeldFolder> HoldFolder(const std::string& path);
  virtual CreateFolderResult CreateFolder(const std::string& path) = 0;
  virtual bool SetCurrentFolder(const std::string& path) = 0;
  virtual bool RemoveFile(const std::string& path) = 0;
  // Upper-case letter of the current drive, or '@' when the current folder
  // has no drive letter (a network path).
  virtual char CurrentDriveLetter() = 0;
  // A work buffer of `size` bytes, or null when the memory cannot be had.
  virtual std::unique_ptr<char[]> AllocateBuffer(std::size_t size);
};

}  // namespace orvik
