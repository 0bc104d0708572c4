// orvik-cdcheck.exe: the CD folder (or a CD drive's root, "E:\") is the
// root of the CD that Setup would see in drive D. ISO images are read by
// the Linux build; Windows mounts one as a drive of its own.
#include <windows.h>

#include <cstdio>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "platform/win32/code_page.h"
#include "platform/win32/process_hygiene.h"
#include "platform/win32/win32_file_system.h"
#include "tools/cdcheck/cd_access.h"
#include "tools/cdcheck/cd_check.h"
#include "tools/cdcheck/cd_root_file_system.h"
#include "tools/cdcheck/cli.h"

namespace {

// The command line comes in the ANSI code page; the report is UTF-8.
std::string AnsiToUtf8(const std::string& ansi) {
  return orvik::ConvertCodePage(ansi, CP_ACP, CP_UTF8);
}

orvik::cdcheck::OpenedCd OpenCd(const std::string& cd_path) {
  orvik::cdcheck::OpenedCd cd;
  cd.display_path = AnsiToUtf8(cd_path);
  const DWORD attributes = ::GetFileAttributesA(cd_path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES)
    cd.error = cd.display_path + ": no such folder or drive";
  else if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
    cd.error = cd.display_path +
               " is not a folder: ISO images are read by the Linux build only; "
               "on Windows mount the image and check its drive";
  else
    cd.files = std::make_unique<orvik::cdcheck::CdRootFileSystem>(
        std::make_unique<orvik::Win32FileSystem>(), orvik::cdcheck::kCdDrive, cd_path);
  return cd;
}

// The converter's files, by the engine's file interface: the new file is
// created beside the target, flushed, and moved over it in one step.
std::optional<std::string> ReadWhole(const std::string& path, std::string& error) {
  orvik::Win32FileSystem files;
  const auto file = files.OpenForReading(path);
  if (!file) {
    error = "cannot open " + AnsiToUtf8(path);
    return std::nullopt;
  }
  const orvik::cdcheck::FileContent content = orvik::cdcheck::ReadContent(*file, true);
  if (content.read_error) {
    error = "cannot read " + AnsiToUtf8(path);
    return std::nullopt;
  }
  return content.bytes;
}

bool ReplaceWhole(const std::string& path, const std::string& bytes, std::string& error) {
  orvik::Win32FileSystem files;
  const std::string temporary = path + ".partial";
  auto file = files.CreateExclusive(temporary);
  if (!file) {
    error = "cannot create " + AnsiToUtf8(temporary) + " (left over? remove it)";
    return false;
  }
  const bool written = file->Write(bytes.data(), bytes.size()) == bytes.size();
  if (!file->Close() || !written) {
    files.RemoveFile(temporary);
    error = "cannot write " + AnsiToUtf8(temporary);
    return false;
  }
  if (!files.MoveReplacing(temporary, path)) {
    files.RemoveFile(temporary);
    error = "cannot replace " + AnsiToUtf8(path);
    return false;
  }
  return true;
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
  try {
    const std::vector<std::string> args(argv + 1, argv + argc);
    orvik::cdcheck::ToolOutput output;
    const int status =
        orvik::cdcheck::RunCdCheckTool(args, OpenCd, output, {ReadWhole, ReplaceWhole});
    Write(STD_OUTPUT_HANDLE, output.out);
    Write(STD_ERROR_HANDLE, output.err);
    return status;
  } catch (const std::bad_alloc&) {
    std::fputs(orvik::cdcheck::kOutOfMemoryMessage, stderr);
    return orvik::cdcheck::kExitOutOfMemory;
  }
}
