#include "tools/cdcheck/posix_cd.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/posix/posix_file_system.h"
#include "tools/cdcheck/cd_check.h"
#if ORVIK_CDCHECK_ISO_IMAGES
#include "tools/cdcheck/iso_image_file_system.h"
#endif

namespace orvik::cdcheck {

namespace {

// No current drive: relative paths, Setup's first message-file lookup
// among them, name nothing.
std::unique_ptr<FileSystem> FolderAsCd(const std::string& folder) {
  auto files = std::make_unique<PosixFileSystem>();
  files->MapDrive(kCdDrive, folder);
  return files;
}

std::unique_ptr<FileSystem> ImageAsCd(const std::string& image, std::string& error) {
#if ORVIK_CDCHECK_ISO_IMAGES
  return OpenIsoImage(image, kCdDrive, error);
#else
  error = image + " is not a folder, and this build of orvik-cdcheck reads no "
                  "ISO images (it was built without libiso9660)";
  return nullptr;
#endif
}

std::string Why(const std::string& what, const std::string& path) {
  return what + " " + path + ": " + std::strerror(errno);
}

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() { Close(); }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int get() const { return fd_; }
  bool Close() {
    const int fd = fd_;
    fd_ = -1;
    return fd < 0 || ::close(fd) == 0;
  }

 private:
  int fd_;
};

std::optional<std::string> ReadWhole(const std::string& path, std::string& error) {
  const FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (file.get() < 0) {
    error = Why("cannot open", path);
    return std::nullopt;
  }
  std::string bytes;
  char buffer[65536];
  for (;;) {
    const ssize_t got = ::read(file.get(), buffer, sizeof buffer);
    if (got == 0) return bytes;
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      error = Why("cannot read", path);
      return std::nullopt;
    }
    bytes.append(buffer, static_cast<std::size_t>(got));
  }
}

bool WriteAll(int fd, const std::string& bytes) {
  for (std::size_t done = 0; done < bytes.size();) {
    const ssize_t wrote = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote <= 0) return false;
    done += static_cast<std::size_t>(wrote);
  }
  return true;
}

// The mode a new file gets from the process's umask, which mkstemp's 0600
// would otherwise replace.
mode_t NewFileMode() {
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return 0666 & ~mask;
}

bool ReplaceWhole(const std::string& path, const std::string& bytes, std::string& error) {
  std::string temporary = path + ".XXXXXX";
  FileDescriptor file(::mkstemp(temporary.data()));
  if (file.get() < 0) {
    error = Why("cannot create a file beside", path);
    return false;
  }
  std::string failure;
  if (!WriteAll(file.get(), bytes) || ::fchmod(file.get(), NewFileMode()) != 0 ||
      ::fsync(file.get()) != 0 || !file.Close())
    failure = Why("cannot write", temporary);
  else if (::rename(temporary.c_str(), path.c_str()) != 0)
    failure = Why("cannot rename the new file to", path);
  if (failure.empty()) return true;
  ::unlink(temporary.c_str());
  error = failure;
  return false;
}

}  // namespace

HostFiles PosixHostFiles() { return {ReadWhole, ReplaceWhole}; }

OpenedCd OpenCdOnPosix(const std::string& cd_path) {
  OpenedCd cd;
  cd.display_path = cd_path;
  struct stat info;
  if (::stat(cd_path.c_str(), &info) != 0)
    cd.error = cd_path + ": no such folder or ISO image";
  else if (S_ISDIR(info.st_mode))
    cd.files = FolderAsCd(cd_path);
  else if (S_ISREG(info.st_mode)) {
    cd.files = ImageAsCd(cd_path, cd.error);
    cd.image = true;
  }
  else
    cd.error = cd_path + " is neither a folder nor an ISO image";
  return cd;
}

}  // namespace orvik::cdcheck
