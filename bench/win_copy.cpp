// The yardsticks for setup.exe under Wine (bench/wine_run.sh). Copies each
// file named in LIST (Windows paths, one a line) into DEST under its last
// component, in one of three ways:
//   copyfile        CopyFileA, the plainest copy Windows offers
//   same-guarantee  what setup.exe promises: a temporary file created with
//                   CREATE_NEW in DEST, 32 KiB ReadFile/WriteFile calls,
//                   FlushFileBuffers, then MoveFileExA over the name
//   no-flush        the same without FlushFileBuffers
// Prints the seconds the copies took, start-up excluded, and the processor
// seconds (user + kernel) they used: "seconds S cpu C".
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace {

constexpr DWORD kChunk = 32768;
constexpr int kTemporaryNameTries = 100;

class Handle {
 public:
  explicit Handle(HANDLE handle) : handle_(handle) {}
  ~Handle() { Close(); }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }
  HANDLE get() const { return handle_; }
  bool Close() {
    if (!valid()) return true;
    const BOOL closed = ::CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
    return closed != FALSE;
  }

 private:
  HANDLE handle_;
};

enum class Mode { kCopyFile, kSameGuarantee, kNoFlush };

bool CopyContent(HANDLE in, HANDLE out, std::vector<char>& buffer) {
  for (;;) {
    DWORD got = 0;
    if (!::ReadFile(in, buffer.data(), kChunk, &got, nullptr)) return false;
    if (got == 0) return true;
    DWORD put = 0;
    if (!::WriteFile(out, buffer.data(), got, &put, nullptr) || put != got)
      return false;
  }
}

// The first free temporary name in the folder, created exclusively.
HANDLE CreateTemporary(const std::string& folder, std::string& path) {
  for (int attempt = 0; attempt < kTemporaryNameTries; ++attempt) {
    path = folder + "\\~peer" + std::to_string(attempt) + ".tmp";
    const HANDLE handle = ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr,
                                        CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle != INVALID_HANDLE_VALUE || ::GetLastError() != ERROR_FILE_EXISTS)
      return handle;
  }
  return INVALID_HANDLE_VALUE;
}

bool CopyThroughTemporary(const std::string& from, const std::string& to,
                          const std::string& folder, bool flush,
                          std::vector<char>& buffer) {
  Handle in(::CreateFileA(from.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!in.valid()) return false;
  std::string temporary;
  Handle out(CreateTemporary(folder, temporary));
  if (!out.valid()) return false;
  const bool done = CopyContent(in.get(), out.get(), buffer) &&
                    (!flush || ::FlushFileBuffers(out.get())) && out.Close() &&
                    ::MoveFileExA(temporary.c_str(), to.c_str(),
                                  MOVEFILE_REPLACE_EXISTING);
  if (!done) ::DeleteFileA(temporary.c_str());
  return done;
}

bool CopyOne(Mode mode, const std::string& from, const std::string& to,
             const std::string& folder, std::vector<char>& buffer) {
  switch (mode) {
    case Mode::kCopyFile:
      return ::CopyFileA(from.c_str(), to.c_str(), FALSE) != FALSE;
    case Mode::kSameGuarantee:
      return CopyThroughTemporary(from, to, folder, true, buffer);
    case Mode::kNoFlush:
      return CopyThroughTemporary(from, to, folder, false, buffer);
  }
  return false;
}

bool ParseMode(const char* text, Mode& mode) {
  if (std::strcmp(text, "copyfile") == 0) {
    mode = Mode::kCopyFile;
  } else if (std::strcmp(text, "same-guarantee") == 0) {
    mode = Mode::kSameGuarantee;
  } else if (std::strcmp(text, "no-flush") == 0) {
    mode = Mode::kNoFlush;
  } else {
    return false;
  }
  return true;
}

// User and kernel seconds of this process so far.
double ProcessorSeconds() {
  FILETIME created, exited, kernel, user;
  if (!::GetProcessTimes(::GetCurrentProcess(), &created, &exited, &kernel, &user))
    return 0;
  const auto seconds = [](const FILETIME& time) {
    return ((static_cast<ULONGLONG>(time.dwHighDateTime) << 32) | time.dwLowDateTime) / 1e7;
  };
  return seconds(kernel) + seconds(user);
}

double Now() {
  LARGE_INTEGER frequency, counter;
  ::QueryPerformanceFrequency(&frequency);
  ::QueryPerformanceCounter(&counter);
  return static_cast<double>(counter.QuadPart) / frequency.QuadPart;
}

}  // namespace

int main(int argc, char** argv) {
  Mode mode;
  if (argc != 4 || !ParseMode(argv[1], mode)) {
    std::fprintf(stderr, "usage: %s copyfile|same-guarantee|no-flush LIST DEST\n",
                 argv[0]);
    return 2;
  }
  std::vector<std::string> sources;
  std::ifstream list(argv[2]);
  for (std::string line; std::getline(list, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) sources.push_back(line);
  }
  if (sources.empty()) {
    std::fprintf(stderr, "no files listed in %s\n", argv[2]);
    return 2;
  }
  const std::string folder = argv[3];
  std::vector<char> buffer(kChunk);
  const double start = Now();
  const double start_cpu = ProcessorSeconds();
  // As setup.exe does: an existing folder is used as it is.
  ::CreateDirectoryA(folder.c_str(), nullptr);
  for (const std::string& source : sources) {
    const std::string name = source.substr(source.find_last_of("\\/") + 1);
    if (!CopyOne(mode, source, folder + "\\" + name, folder, buffer)) {
      std::fprintf(stderr, "cannot copy %s: error %lu\n", source.c_str(),
                   static_cast<unsigned long>(::GetLastError()));
      return 1;
    }
  }
  std::printf("seconds %.3f cpu %.3f\n", Now() - start,
              ProcessorSeconds() - start_cpu);
  return 0;
}
