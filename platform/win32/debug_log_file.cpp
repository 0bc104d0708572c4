#include "platform/win32/debug_log_file.h"

#include <windows.h>
#include <fcntl.h>
#include <io.h>

#include <cstdint>
#include <memory>
#include <string>
#include <utility>

namespace orvik {

namespace {

struct HandleCloser {
  void operator()(HANDLE handle) const { ::CloseHandle(handle); }
};
// Null is "no handle" here; CreateFile's INVALID_HANDLE_VALUE is mapped to it.
using OwnedHandle = std::unique_ptr<void, HandleCloser>;

// A C runtime descriptor until a stream takes it over.
class OwnedDescriptor {
 public:
  explicit OwnedDescriptor(int fd) : fd_(fd) {}
  ~OwnedDescriptor() {
    if (fd_ != -1) ::_close(fd_);
  }
  OwnedDescriptor(const OwnedDescriptor&) = delete;
  OwnedDescriptor& operator=(const OwnedDescriptor&) = delete;

  int get() const { return fd_; }
  int release() { return std::exchange(fd_, -1); }

 private:
  int fd_;
};

// A few tries, in case an earlier run of ours left its name behind.
const int kTemporaryNameTries = 16;

// A new file beside path, under a name of its own. CREATE_NEW never opens
// an existing name, so nothing planted there is followed. Shared for
// deletion so that it can be renamed while open.
OwnedHandle CreateTemporaryBeside(const std::string& path, std::string& temporary) {
  const std::string stem = path + "." + std::to_string(::GetCurrentProcessId()) + ".";
  for (int attempt = 0; attempt < kTemporaryNameTries; ++attempt) {
    temporary = stem + std::to_string(attempt) + ".tmp";
    HANDLE file = ::CreateFileA(temporary.c_str(), GENERIC_WRITE | DELETE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) return OwnedHandle(file);
    if (::GetLastError() != ERROR_FILE_EXISTS) break;
  }
  return OwnedHandle();
}

// Removes the file behind the handle, wherever its name has gone: deleting
// by name could reach whatever was put at the name meanwhile.
void DiscardOnClose(HANDLE file) {
  FILE_DISPOSITION_INFO disposition = {};
  disposition.DeleteFile = TRUE;
  ::SetFileInformationByHandle(file, FileDispositionInfo, &disposition,
                               sizeof disposition);  // nothing more to do if refused
}

// Of an earlier log, the last this many bytes are kept: a machine's
// history, not an unbounded file.
constexpr DWORD kKeptLogBytes = 4u << 20;

// The earlier log's handle, when it is a plain file of one name: not a
// link (Wine opens a Unix link's target, but marks the name), not a hard
// link to some other file, not a folder.
OwnedHandle OpenEarlierLog(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES ||
      (attributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) != 0)
    return OwnedHandle();
  HANDLE file = ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE) return OwnedHandle();
  OwnedHandle owned(file);
  BY_HANDLE_FILE_INFORMATION info;
  if (!::GetFileInformationByHandle(file, &info) || info.nNumberOfLinks != 1 ||
      (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) != 0)
    return OwnedHandle();
  return owned;
}

// Whether the file begins with `start`.
bool BeginsWith(HANDLE file, const std::string& start) {
  std::string head(start.size(), '\0');
  DWORD got = 0;
  return ::ReadFile(file, &head[0], static_cast<DWORD>(head.size()), &got, nullptr) &&
         got == head.size() && head == start;
}

// Copies the earlier log's tail into the new file; nothing when there is
// none, or when it is not a log of ours.
void CopyEarlierLog(const std::string& path, const std::string& start, HANDLE into) {
  OwnedHandle earlier = OpenEarlierLog(path);
  if (!earlier || !BeginsWith(earlier.get(), start)) return;
  LARGE_INTEGER size;
  if (!::GetFileSizeEx(earlier.get(), &size)) return;
  LARGE_INTEGER from;
  from.QuadPart = size.QuadPart > kKeptLogBytes ? size.QuadPart - kKeptLogBytes : 0;
  if (!::SetFilePointerEx(earlier.get(), from, nullptr, FILE_BEGIN)) return;
  std::string kept;
  char buffer[16384];
  DWORD got = 0;
  while (kept.size() < kKeptLogBytes &&
         ::ReadFile(earlier.get(), buffer, sizeof buffer, &got, nullptr) && got > 0)
    kept.append(buffer, got);
  // A tail cut from a longer log starts at its first whole run, so that
  // the log still begins as ours do.
  std::size_t begin = 0;
  if (from.QuadPart > 0) {
    begin = kept.find("\n" + start);
    if (begin == std::string::npos) return;
    ++begin;
  }
  DWORD put = 0;
  ::WriteFile(into, kept.data() + begin, static_cast<DWORD>(kept.size() - begin), &put, nullptr);
}

// The new file is renamed over the name: a rename replaces a link itself,
// never its target (writing through it, or deleting it, under Wine, would
// reach the target), and a hard link's other names keep their data.
OwnedHandle CreateInPlaceOf(const std::string& path, const char* earlier_log_start) {
  std::string temporary;
  OwnedHandle file = CreateTemporaryBeside(path, temporary);
  if (!file) return file;
  if (earlier_log_start != nullptr) CopyEarlierLog(path, earlier_log_start, file.get());
  if (!::MoveFileExA(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING)) {
    DiscardOnClose(file.get());
    return OwnedHandle();
  }
  return file;
}

}  // namespace

std::FILE* OpenDebugLogFile(const std::string& path, const char* earlier_log_start) {
  OwnedHandle file = CreateInPlaceOf(path, earlier_log_start);
  if (!file) return nullptr;

  OwnedDescriptor fd(::_open_osfhandle(reinterpret_cast<std::intptr_t>(file.get()),
                                       _O_BINARY));
  if (fd.get() == -1) return nullptr;
  file.release();  // the descriptor owns the handle now

  std::FILE* log = ::_fdopen(fd.get(), "wb");
  if (log == nullptr) return nullptr;
  fd.release();  // and the stream the descriptor
  std::setvbuf(log, nullptr, _IONBF, 0);
  return log;
}

}  // namespace orvik
