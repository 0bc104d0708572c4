// orvik-cdcheck.exe: the CD folder (or a CD drive's root, "E:\") is the
// root of the CD that Setup would see in drive D.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/win32/process_hygiene.h"
#include "platform/win32/win32_file_system.h"
#include "tools/cdcheck/cd_check.h"
#include "tools/cdcheck/cd_root_file_system.h"
#include "tools/cdcheck/cli.h"

namespace {

bool IsFolder(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES &&
         (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::unique_ptr<orvik::FileSystem> OpenCd(const std::string& folder) {
  if (!IsFolder(folder)) return nullptr;
  return std::make_unique<orvik::cdcheck::CdRootFileSystem>(
      std::make_unique<orvik::Win32FileSystem>(), orvik::cdcheck::kCdDrive, folder);
}

// The output is UTF-8: a console gets it as UTF-16, whatever its code
// page; a pipe or a file gets the bytes.
void Write(DWORD which, const std::string& utf8) {
  if (utf8.empty()) return;
  const HANDLE handle = ::GetStdHandle(which);
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return;
  DWORD mode = 0;
  if (::GetConsoleMode(handle, &mode)) {
    const int length = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(),
                                             static_cast<int>(utf8.size()), nullptr, 0);
    if (length > 0) {
      std::wstring wide(static_cast<std::size_t>(length), L'\0');
      ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()),
                            wide.data(), length);
      DWORD written = 0;
      ::WriteConsoleW(handle, wide.data(), static_cast<DWORD>(wide.size()), &written,
                      nullptr);
      return;
    }
  }
  DWORD written = 0;
  ::WriteFile(handle, utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
}

}  // namespace

int main(int argc, char** argv) {
  orvik::ApplyProcessHygiene();
  const std::vector<std::string> args(argv + 1, argv + argc);
  orvik::cdcheck::ToolOutput output;
  const int status = orvik::cdcheck::RunCdCheckTool(args, OpenCd, output);
  Write(STD_OUTPUT_HANDLE, output.out);
  Write(STD_ERROR_HANDLE, output.err);
  return status;
}
