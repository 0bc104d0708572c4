#include "platform/posix/posix_file_system.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <memory>
#include <string_view>

#include "engine/ascii.h"
#include "engine/cd_format.h"
#include "engine/windows_path.h"

namespace orvik {

namespace {

char DriveKey(char letter) {
  return AsciiUpper(letter);
}

// Characters that Windows refuses in a file name.
bool IsValidComponent(const std::string& name) { return !HasForbiddenCharacter(name); }

// Windows refuses such a name with ERROR_INVALID_NAME, which the C runtime
// does not count among the errors of a path that does not exist.
bool HasInvalidName(const std::string& path) {
  return HasForbiddenCharacter(std::string_view(path).substr(StartsWithDrive(path) ? 2 : 0));
}

bool EntryExists(const std::string& host_path) {
  struct stat info;
  return ::lstat(host_path.c_str(), &info) == 0;
}

// The first entry of the host folder whose name equals `name` ignoring the
// case of ASCII letters.
struct CloseListing {
  void operator()(DIR* listing) const { ::closedir(listing); }
};

std::optional<std::string> FindIgnoringCase(const std::string& folder,
                                            const std::string& name) {
  const std::unique_ptr<DIR, CloseListing> listing(::opendir(folder.c_str()));
  if (listing == nullptr) return std::nullopt;
  while (const dirent* entry = ::readdir(listing.get())) {
    if (SamePath(entry->d_name, name)) return std::string(entry->d_name);
  }
  return std::nullopt;
}

bool IsFolder(const std::string& host_path) {
  struct stat info;
  return ::stat(host_path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

class PosixFile : public File {
 public:
  explicit PosixFile(int fd) : fd_(fd) {}
  ~PosixFile() override { Close(); }

  std::int64_t Read(char* buffer, std::size_t size) override {
    for (;;) {
      const ssize_t got = ::read(fd_, buffer, size);
      if (got >= 0) return got;
      if (errno != EINTR) return kReadError;
    }
  }

  std::size_t Write(const char* buffer, std::size_t size) override {
    std::size_t done = 0;
    while (done < size) {
      const ssize_t put = ::write(fd_, buffer + done, size - done);
      if (put < 0 && errno == EINTR) continue;
      if (put <= 0) break;
      done += static_cast<std::size_t>(put);
    }
    return done;
  }

  bool Flush() override {
    for (;;) {
      if (::fsync(fd_) == 0) return true;
      if (errno != EINTR) return false;
    }
  }

  bool Close() override {
    if (fd_ < 0) return true;
    const int result = ::close(fd_);
    fd_ = -1;
    return result == 0;
  }

 private:
  int fd_;
};

bool IsWrongPath(int error) { return error == ENOENT || error == ENOTDIR; }

// An open folder does not stop a rename on POSIX: the stand-in tells what
// is there and keeps the descriptor, no more.
class PosixHeldFolder : public HeldFolder {
 public:
  PosixHeldFolder(int fd, FolderState state) : fd_(fd), state_(state) {}
  ~PosixHeldFolder() override {
    if (fd_ >= 0) ::close(fd_);
  }
  FolderState state() const override { return state_; }

 private:
  int fd_;
  FolderState state_;
};

FolderState StateOfHostPath(const std::string& host) {
  struct stat info;
  if (::lstat(host.c_str(), &info) != 0) return FolderState::kMissing;
  if (S_ISLNK(info.st_mode)) return FolderState::kLink;
  return S_ISDIR(info.st_mode) ? FolderState::kFolder : FolderState::kNotAFolder;
}

int OpenHostForReading(const std::string& host) {
  return ::open(host.c_str(), O_RDONLY | O_CLOEXEC);
}

int CreateHostExclusive(const std::string& host) {
  return ::open(host.c_str(),
                O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
}

}  // namespace

void PosixFileSystem::MapDrive(char letter, const std::string& host_folder) {
  drives_[DriveKey(letter)] = host_folder;
}

void PosixFileSystem::SetCurrentDrive(char letter) {
  current_drive_ = DriveKey(letter);
  current_components_.clear();
}

std::optional<PosixFileSystem::Location> PosixFileSystem::Resolve(
    const std::string& path) const {
  if (path.empty()) return std::nullopt;
  Location location;
  std::string_view rest = path;
  if (StartsWithDrive(path)) {
    if (!IsAsciiLetter(path[0])) return std::nullopt;
    location.drive = DriveKey(path[0]);
    rest.remove_prefix(2);
    // "D:x" is relative to drive D's current folder, which we keep only
    // for the current drive.
    const bool rooted = !rest.empty() && IsPathSeparator(rest[0]);
    if (!rooted && location.drive == current_drive_)
      location.components = current_components_;
  } else if (IsSharePath(path)) {
    return std::nullopt;  // UNC paths name no mapped drive
  } else {
    location.drive = current_drive_;
    if (!IsPathSeparator(path[0])) location.components = current_components_;
  }
  if (!AppendComponents(location.components, rest, IsValidComponent))
    return std::nullopt;
  if (drives_.count(location.drive) == 0) return std::nullopt;
  return location;
}

// The entry of `folder` whose name matches `name` ignoring case, or `name`
// itself when there is none (yet). A name that exists as spelled wins.
std::string PosixFileSystem::MatchEntry(const std::string& folder,
                                        const std::string& name) const {
  if (matching_ == NameMatching::kExact || EntryExists(folder + "/" + name))
    return name;
  return FindIgnoringCase(folder, name).value_or(name);
}

std::optional<std::string> PosixFileSystem::ToHostPath(
    const Location& location) const {
  std::string host = drives_.at(location.drive);
  for (const auto& component : location.components)
    host += "/" + MatchEntry(host, component);
  return host;
}

std::optional<std::string> PosixFileSystem::HostPath(
    const std::string& windows_path) const {
  const auto location = Resolve(windows_path);
  if (!location) return std::nullopt;
  return ToHostPath(*location);
}

std::string PosixFileSystem::CurrentFolder() const {
  std::string folder = std::string(1, current_drive_) + ":";
  for (const auto& component : current_components_) folder += "\\" + component;
  return current_components_.empty() ? folder + "\\" : folder;
}

// Paths whose names exist as spelled, the common case, are opened straight
// away; matching every component without regard to case costs a lookup
// per component and is left for when that fails. Where the spelled path
// exists, the matching would pick the same names: exact spelling wins.
std::string PosixFileSystem::SpelledHostPath(const Location& location) const {
  std::string host = drives_.at(location.drive);
  for (const auto& component : location.components) host += "/" + component;
  return host;
}

std::unique_ptr<File> PosixFileSystem::OpenForReading(const std::string& path) {
  const auto location = Resolve(path);
  if (!location) return nullptr;
  int fd = OpenHostForReading(SpelledHostPath(*location));
  if (fd < 0 && IsWrongPath(errno)) fd = OpenHostForReading(*ToHostPath(*location));
  if (fd < 0) return nullptr;
  auto file = std::make_unique<PosixFile>(fd);
  // A folder opens for reading here, but not on Windows.
  struct stat info;
  if (::fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) return nullptr;
  return file;
}

// The host path of a file to create or replace: its folder as spelled
// when that exists, its own name matched, as it may exist in another case.
std::optional<std::string> PosixFileSystem::EntryHostPath(
    const std::string& path) const {
  const auto location = Resolve(path);
  if (!location || location->components.empty()) return std::nullopt;
  Location folder = *location;
  folder.components.pop_back();
  std::string host_folder = SpelledHostPath(folder);
  if (!IsFolder(host_folder)) host_folder = *ToHostPath(folder);
  return host_folder + "/" + MatchEntry(host_folder, location->components.back());
}

// A name taken in another case is taken, as on Windows.
std::unique_ptr<File> PosixFileSystem::CreateExclusive(const std::string& path) {
  const auto host = EntryHostPath(path);
  if (!host) return nullptr;
  const int fd = CreateHostExclusive(*host);
  if (fd < 0) return nullptr;
  return std::make_unique<PosixFile>(fd);
}

bool PosixFileSystem::MoveReplacing(const std::string& from,
                                    const std::string& to) {
  const auto host_from = EntryHostPath(from);
  const auto host_to = EntryHostPath(to);
  return host_from && host_to &&
         ::rename(host_from->c_str(), host_to->c_str()) == 0;
}

// renameat2's RENAME_NOREPLACE asks nothing before the move; a file system
// without it gets the look and the rename.
PosixFileSystem::MoveResult PosixFileSystem::MoveToNewName(const std::string& from,
                                                           const std::string& to) {
  const auto host_from = EntryHostPath(from);
  const auto host_to = EntryHostPath(to);
  if (!host_from || !host_to) return MoveResult::kFailed;
  if (::renameat2(AT_FDCWD, host_from->c_str(), AT_FDCWD, host_to->c_str(), RENAME_NOREPLACE) == 0)
    return MoveResult::kMoved;
  if (errno == EEXIST) return MoveResult::kNameTaken;
  if (errno != EINVAL && errno != ENOSYS) return MoveResult::kFailed;
  return FileSystem::MoveToNewName(from, to);
}

std::vector<std::string> PosixFileSystem::FolderEntries(const std::string& folder) {
  std::vector<std::string> names;
  const auto host = HostPath(folder);
  if (!host) return names;
  const std::unique_ptr<DIR, CloseListing> listing(::opendir(host->c_str()));
  if (listing == nullptr) return names;
  while (const dirent* entry = ::readdir(listing.get())) {
    const std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  return names;
}

bool PosixFileSystem::RemoveFolder(const std::string& folder) {
  const auto host = HostPath(folder);
  return host && ::rmdir(host->c_str()) == 0;
}

bool PosixFileSystem::Exists(const std::string& path) {
  const auto host = HostPath(path);
  if (!host) return false;
  struct stat info;
  return ::lstat(host->c_str(), &info) == 0 || !IsWrongPath(errno);
}

bool PosixFileSystem::SameFile(const std::string& a, const std::string& b) {
  const auto host_a = HostPath(a);
  const auto host_b = HostPath(b);
  if (!host_a || !host_b) return false;
  struct stat first;
  struct stat second;
  return ::stat(host_a->c_str(), &first) == 0 &&
         ::lstat(host_b->c_str(), &second) == 0 &&
         first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

bool PosixFileSystem::IsLink(const std::string& path) {
  const auto host = HostPath(path);
  struct stat info;
  return host && ::lstat(host->c_str(), &info) == 0 && S_ISLNK(info.st_mode);
}

std::unique_ptr<HeldFolder> PosixFileSystem::HoldFolder(const std::string& path) {
  const auto host = HostPath(path);
  if (!host) return std::make_unique<PosixHeldFolder>(-1, FolderState::kMissing);
  const int fd = ::open(host->c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  const FolderState state = StateOfHostPath(*host);
  if (fd < 0 && state == FolderState::kFolder)
    return std::make_unique<PosixHeldFolder>(-1, FolderState::kNotHeld);
  return std::make_unique<PosixHeldFolder>(fd, state);
}

CreateFolderResult PosixFileSystem::CreateFolder(const std::string& path) {
  const auto host = HostPath(path);
  if (!host) {
    return HasInvalidName(path) ? CreateFolderResult::kOtherError
                                : CreateFolderResult::kNoSuchPath;
  }
  if (::mkdir(host->c_str(), 0755) == 0) return CreateFolderResult::kCreated;
  // ENOTDIR: a component of the parent is a file, which Windows reports as
  // a path that does not exist; a name too long is ERROR_FILENAME_EXCED_RANGE.
  if (errno == ENOENT || errno == ENOTDIR || errno == ENAMETOOLONG)
    return CreateFolderResult::kNoSuchPath;
  return CreateFolderResult::kOtherError;
}

bool PosixFileSystem::SetCurrentFolder(const std::string& path) {
  const auto location = Resolve(path);
  if (!location) return false;
  const auto host = ToHostPath(*location);
  if (!host || !IsFolder(*host)) return false;
  current_drive_ = location->drive;
  current_components_ = location->components;
  return true;
}

bool PosixFileSystem::RemoveFile(const std::string& path) {
  const auto host = HostPath(path);
  if (!host || IsFolder(*host)) return false;
  return ::unlink(host->c_str()) == 0;
}

char PosixFileSystem::CurrentDriveLetter() {
  return current_drive_ != 0 ? current_drive_ : cd_format::kNoDriveLetter;
}

}  // namespace orvik
