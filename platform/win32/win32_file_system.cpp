#include "platform/win32/win32_file_system.h"

#include <windows.h>

#include <algorithm>
#include <cctype>
#include <vector>

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

  bool Close() override { return handle_.Close(); }

 private:
  ScopedFileHandle handle_;
};

std::unique_ptr<File> OpenFile(const std::string& path, DWORD access,
                               DWORD disposition) {
  if (path.empty()) return nullptr;
  ScopedFileHandle handle(::CreateFileA(path.c_str(), access, kShareLikeStreams,
                                        nullptr, disposition,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!handle.valid()) return nullptr;
  return std::make_unique<Win32File>(std::move(handle));
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

std::unique_ptr<File> Win32FileSystem::OpenForWriting(const std::string& path) {
  return OpenFile(path, GENERIC_WRITE, CREATE_ALWAYS);
}

CreateFolderResult Win32FileSystem::CreateFolder(const std::string& path) {
  if (::CreateDirectoryA(path.c_str(), nullptr)) return CreateFolderResult::kCreated;
  return MeansNoSuchPath(::GetLastError()) ? CreateFolderResult::kNoSuchPath
                                           : CreateFolderResult::kOtherError;
}

bool Win32FileSystem::SetCurrentFolder(const std::string& path) {
  return ::SetCurrentDirectoryA(path.c_str()) != FALSE;
}

bool Win32FileSystem::RemoveFile(const std::string& path) {
  return ::DeleteFileA(path.c_str()) != FALSE;
}

char Win32FileSystem::CurrentDriveLetter() {
  const int number = CurrentDriveNumber();
  return static_cast<char>(number + '@');
}

}  // namespace orvik
