#include "platform/win32/win32_file_system.h"

#include <windows.h>

#include <algorithm>
#include <cctype>
#include <optional>
#include <vector>

#include "engine/cd_format.h"
#include "engine/windows_path.h"
#include "platform/win32/scoped_win.h"

namespace orvik {

namespace {

// Files are opened with the sharing that the C runtime's fopen grants, so
// that a file open elsewhere behaves as it would for a stream.
constexpr DWORD kShareLikeStreams = FILE_SHARE_READ | FILE_SHARE_WRITE;
constexpr DWORD kMaxTransfer = 1u << 30;

class Win32File : public File {
 public:
  explicit Win32File(ScopedFileHandle handle) : handle_(std::move(handle)) {}

  std::int64_t Read(char* buffer, std::size_t size) override {
    DWORD got = 0;
    const DWORD want = static_cast<DWORD>(std::min<std::size_t>(size, kMaxTransfer));
    if (!::ReadFile(handle_.get(), buffer, want, &got, nullptr))
      return kReadError;
    return got;
  }

  std::size_t Write(const char* buffer, std::size_t size) override {
    std::size_t done = 0;
    while (done < size) {
      DWORD put = 0;
      const DWORD want =
          static_cast<DWORD>(std::min<std::size_t>(size - done, kMaxTransfer));
      if (!::WriteFile(handle_.get(), buffer + done, want, &put, nullptr) ||
          put == 0)
        break;
      done += put;
    }
    return done;
  }

  bool Flush() override { return ::FlushFileBuffers(handle_.get()) != FALSE; }
  bool Close() override { return handle_.Close(); }

 private:
  ScopedFileHandle handle_;
};

std::unique_ptr<File> OpenFile(const std::string& path, DWORD access,
                               DWORD disposition,
                               DWORD share = kShareLikeStreams) {
  if (path.empty()) return nullptr;
  ScopedFileHandle handle(::CreateFileA(path.c_str(), access, share, nullptr,
                                        disposition, FILE_ATTRIBUTE_NORMAL,
                                        nullptr));
  if (!handle.valid()) return nullptr;
  return std::make_unique<Win32File>(std::move(handle));
}

struct FileIdentity {
  DWORD volume;
  DWORD index_high;
  DWORD index_low;
  bool operator==(const FileIdentity& other) const {
    return volume == other.volume && index_high == other.index_high &&
           index_low == other.index_low;
  }
};

// Volume serial and file index, asking for no access to the data, so a
// locked file answers too. With `follow_link` false a link answers for
// itself on Windows (Wine still answers for its target).
std::optional<FileIdentity> IdentityOf(const std::string& path,
                                       bool follow_link) {
  if (path.empty()) return std::nullopt;
  DWORD flags = FILE_FLAG_BACKUP_SEMANTICS;
  if (!follow_link) flags |= FILE_FLAG_OPEN_REPARSE_POINT;
  ScopedFileHandle handle(::CreateFileA(
      path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
      nullptr, OPEN_EXISTING, flags, nullptr));
  if (!handle.valid()) return std::nullopt;
  BY_HANDLE_FILE_INFORMATION info;
  if (!::GetFileInformationByHandle(handle.get(), &info)) return std::nullopt;
  return FileIdentity{info.dwVolumeSerialNumber, info.nFileIndexHigh,
                      info.nFileIndexLow};
}

// The errors that the C runtime reports as ENOENT: the path, not the
// folder itself, is what is wrong.
bool MeansNoSuchPath(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_NO_MORE_FILES:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_FILENAME_EXCED_RANGE:
      return true;
    default:
      return false;
  }
}

// Reading the folder's entries is a data access, so the handle takes part
// in sharing: without FILE_SHARE_DELETE, nobody can rename or delete the
// folder while it is held (Windows and Wine alike).
constexpr DWORD kHoldAccess =
    FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES | SYNCHRONIZE;
constexpr DWORD kHoldSharing = FILE_SHARE_READ | FILE_SHARE_WRITE;

class Win32HeldFolder : public HeldFolder {
 public:
  Win32HeldFolder(ScopedFileHandle handle, FolderState state)
      : handle_(std::move(handle)), state_(state) {}
  FolderState state() const override { return state_; }

 private:
  ScopedFileHandle handle_;
  FolderState state_;
};

FolderState StateOfAttributes(DWORD attributes) {
  if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return FolderState::kLink;
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return FolderState::kFolder;
  return FolderState::kNotAFolder;
}

// What stands at a path that could not be held.
FolderState StateOfUnheld(const std::string& path, DWORD open_error) {
  if (MeansNoSuchPath(open_error)) return FolderState::kMissing;
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return FolderState::kMissing;
  const FolderState state = StateOfAttributes(attributes);
  return state == FolderState::kFolder ? FolderState::kNotHeld : state;
}

// "c:" is the folder that "c:\name" lands in: the root. "c:\orvik8\"
// would hold the folder a link points to; "c:\orvik8" holds the link.
std::string FolderToHold(const std::string& path) {
  if (IsBareDrive(path)) return path + "\\";
  return WithoutTrailingSeparators(path);
}

bool ReplaceWithEmptyFile(const std::string& path) {
  for (unsigned attempt = 0; attempt < 16; ++attempt) {
    const std::string stand_in = path + ".~" + std::to_string(::GetCurrentProcessId()) + "-" +
                                 std::to_string(attempt);
    ScopedFileHandle created(::CreateFileA(stand_in.c_str(), GENERIC_WRITE, 0, nullptr,
                                           CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!created.valid()) {
      if (::GetLastError() == ERROR_FILE_EXISTS) continue;
      return false;
    }
    created.Close();
    if (::MoveFileExA(stand_in.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING)) return true;
    ::DeleteFileA(stand_in.c_str());
    return false;
  }
  return false;
}

std::string CurrentFolder() {
  const DWORD needed = ::GetCurrentDirectoryA(0, nullptr);
  if (needed == 0) return std::string();
  std::vector<char> buffer(needed + 1);
  const DWORD length =
      ::GetCurrentDirectoryA(static_cast<DWORD>(buffer.size()), buffer.data());
  if (length == 0 || length >= buffer.size()) return std::string();
  return std::string(buffer.data(), length);
}

}  // namespace

std::string ModuleFileName(HMODULE module) {
  std::vector<char> buffer(MAX_PATH);
  for (;;) {
    const DWORD length =
        ::GetModuleFileNameA(module, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) return std::string();
    // A path that fills the buffer may have been cut short.
    if (length < buffer.size()) return std::string(buffer.data(), length);
    buffer.resize(buffer.size() * 2);
  }
}

int CurrentDriveNumber() {
  const std::string folder = CurrentFolder();
  if (folder.size() < 2 || folder[1] != ':') return 0;
  const char letter = static_cast<char>(
      std::toupper(static_cast<unsigned char>(folder[0])));
  if (letter < 'A' || letter > 'Z') return 0;
  return letter - 'A' + 1;
}

std::unique_ptr<File> Win32FileSystem::OpenForReading(const std::string& path) {
  return OpenFile(path, GENERIC_READ, OPEN_EXISTING);
}

// No sharing: nobody else writes into the file while it is being filled.
std::unique_ptr<File> Win32FileSystem::CreateExclusive(const std::string& path) {
  return OpenFile(path, GENERIC_WRITE, CREATE_NEW, 0);
}

// No MOVEFILE_WRITE_THROUGH: it matters only for a move that copies across
// volumes, and the file is flushed before it is moved.
bool Win32FileSystem::MoveReplacing(const std::string& from,
                                    const std::string& to) {
  return ::MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != FALSE;
}

FileSystem::MoveResult Win32FileSystem::MoveToNewName(const std::string& from,
                                                      const std::string& to) {
  if (::MoveFileExA(from.c_str(), to.c_str(), 0)) return MoveResult::kMoved;
  const DWORD error = ::GetLastError();
  return error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS ? MoveResult::kNameTaken
                                                                     : MoveResult::kFailed;
}

namespace {

// One worker thread, one job at a time, handed over under a slim lock
// with a condition variable: both stay in the process (under Wine too, a
// futex rather than a call to the server), which a file's worth of work
// can afford.
class Win32BackgroundQueue : public BackgroundQueue {
 public:
  bool Start() {
    thread_ = ScopedHandle(
        ::CreateThread(nullptr, 0, &Win32BackgroundQueue::Main, this, 0, nullptr));
    return thread_.valid();
  }

  ~Win32BackgroundQueue() override {
    if (!thread_.valid()) return;
    ::AcquireSRWLockExclusive(&lock_);
    while (job_) ::SleepConditionVariableSRW(&changed_, &lock_, INFINITE, 0);
    stopping_ = true;
    ::ReleaseSRWLockExclusive(&lock_);
    ::WakeAllConditionVariable(&changed_);
    ::WaitForSingleObject(thread_.get(), INFINITE);
  }

  void Run(std::function<void()> job) override {
    ::AcquireSRWLockExclusive(&lock_);
    while (job_) ::SleepConditionVariableSRW(&changed_, &lock_, INFINITE, 0);
    job_ = std::move(job);
    ::ReleaseSRWLockExclusive(&lock_);
    ::WakeAllConditionVariable(&changed_);
  }

  void Wait() override {
    ::AcquireSRWLockExclusive(&lock_);
    while (job_) ::SleepConditionVariableSRW(&changed_, &lock_, INFINITE, 0);
    ::ReleaseSRWLockExclusive(&lock_);
  }

 private:
  static DWORD WINAPI Main(void* self) {
    static_cast<Win32BackgroundQueue*>(self)->Serve();
    return 0;
  }

  // The job stays in job_ while it runs, so that Wait returns only after it.
  void Serve() {
    ::AcquireSRWLockExclusive(&lock_);
    for (;;) {
      while (!job_ && !stopping_) ::SleepConditionVariableSRW(&changed_, &lock_, INFINITE, 0);
      if (stopping_) break;
      ::ReleaseSRWLockExclusive(&lock_);
      job_();
      ::AcquireSRWLockExclusive(&lock_);
      job_ = nullptr;
      ::WakeAllConditionVariable(&changed_);
    }
    ::ReleaseSRWLockExclusive(&lock_);
  }

  SRWLOCK lock_ = SRWLOCK_INIT;
  CONDITION_VARIABLE changed_ = CONDITION_VARIABLE_INIT;
  std::function<void()> job_;
  bool stopping_ = false;
  ScopedHandle thread_;
};

}  // namespace

std::unique_ptr<BackgroundQueue> Win32FileSystem::StartBackgroundQueue() {
  auto queue = std::make_unique<Win32BackgroundQueue>();
  if (!queue->Start()) return nullptr;
  return queue;
}

// Whoever has the file open without letting others write or delete it
// keeps it from being replaced; a running program's image counts too.
bool Win32FileSystem::InUse(const std::string& path) {
  if (path.empty()) return false;
  ScopedFileHandle handle(::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0,
                                        nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT,
                                        nullptr));
  if (handle.valid()) return false;
  const DWORD error = ::GetLastError();
  return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION ||
         error == ERROR_USER_MAPPED_FILE;
}

bool Win32FileSystem::MoveAtRestart(const std::string& from, const std::string& to) {
  if (to.empty())
    return ::MoveFileExA(from.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT) != FALSE;
  return ::MoveFileExA(from.c_str(), to.c_str(),
                       MOVEFILE_DELAY_UNTIL_REBOOT | MOVEFILE_REPLACE_EXISTING) != FALSE;
}

std::vector<std::string> Win32FileSystem::FolderEntries(const std::string& folder) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA found;
  const ScopedFindHandle search(::FindFirstFileA((folder + "\\*").c_str(), &found));
  if (!search.valid()) return names;
  do {
    const std::string name = found.cFileName;
    if (name != "." && name != "..") names.push_back(name);
  } while (::FindNextFileA(search.get(), &found));
  return names;
}

bool Win32FileSystem::RemoveFolder(const std::string& folder) {
  return ::RemoveDirectoryA(folder.c_str()) != FALSE;
}

// Only "not found" means missing: a file that refuses us is still there.
bool Win32FileSystem::Exists(const std::string& path) {
  if (path.empty()) return false;
  if (::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES) return true;
  const DWORD error = ::GetLastError();
  return error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND;
}

bool Win32FileSystem::SameFile(const std::string& a, const std::string& b) {
  const auto first = IdentityOf(a, true);
  const auto second = IdentityOf(b, false);
  return first && second && *first == *second;
}

// Junctions and symbolic links carry the reparse-point attribute; Wine
// reports it for a Unix symbolic link to a folder.
bool Win32FileSystem::IsLink(const std::string& path) {
  if (path.empty()) return false;
  // "c:\orvik8\" asks about the folder a link points to.
  const DWORD attributes =
      ::GetFileAttributesA(WithoutTrailingSeparators(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES &&
         (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

// The handle's attributes tell what was opened, whatever the path names
// by now. Wine opens the target of a Unix symbolic link even so, but marks
// the link in the path's attributes, which cannot change while it is held.
std::unique_ptr<HeldFolder> Win32FileSystem::HoldFolder(const std::string& path) {
  const std::string folder = FolderToHold(path);
  ScopedFileHandle handle(::CreateFileA(
      folder.c_str(), kHoldAccess, kHoldSharing, nullptr, OPEN_EXISTING,
      FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!handle.valid()) {
    const DWORD error = ::GetLastError();
    return std::make_unique<Win32HeldFolder>(ScopedFileHandle(),
                                             StateOfUnheld(folder, error));
  }
  BY_HANDLE_FILE_INFORMATION info;
  FolderState state = FolderState::kNotHeld;
  if (::GetFileInformationByHandle(handle.get(), &info)) {
    state = StateOfAttributes(info.dwFileAttributes);
    if (state == FolderState::kFolder && IsLink(folder)) state = FolderState::kLink;
  }
  return std::make_unique<Win32HeldFolder>(std::move(handle), state);
}

CreateFolderResult Win32FileSystem::CreateFolder(const std::string& path) {
  if (::CreateDirectoryA(path.c_str(), nullptr)) return CreateFolderResult::kCreated;
  return MeansNoSuchPath(::GetLastError()) ? CreateFolderResult::kNoSuchPath
                                           : CreateFolderResult::kOtherError;
}

bool Win32FileSystem::SetCurrentFolder(const std::string& path) {
  return ::SetCurrentDirectoryA(path.c_str()) != FALSE;
}

// Deleting a link must never reach what it points to, which Wine's
// DeleteFile does for a Unix symbolic link (and Wine does not mark a link
// to a file as one): a new empty file of ours first takes the name by a
// rename, which replaces a link itself.
bool Win32FileSystem::RemoveFile(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
    return false;
  return ReplaceWithEmptyFile(path) && ::DeleteFileA(path.c_str()) != FALSE;
}

char Win32FileSystem::CurrentDriveLetter() {
  const int number = CurrentDriveNumber();
  return cd_format::DriveLetterOfNumber(number);
}

}  // namespace orvik
