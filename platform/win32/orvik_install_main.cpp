// orvik-install.exe: the unattended installer, a console program.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/unattended.h"
#include "platform/win32/debug_log_file.h"
#include "platform/win32/process_hygiene.h"
#include "platform/win32/win32_drives.h"
#include "platform/win32/win32_file_system.h"
#include "platform/win32/win32_shell.h"

namespace orvik {
namespace {

// Message-file text is in the ANSI code page; the console shows its own.
std::string AnsiToConsole(const std::string& text) {
  if (text.empty()) return text;
  UINT console = ::GetConsoleOutputCP();
  if (console == 0) console = ::GetOEMCP();
  const int wide_length = ::MultiByteToWideChar(CP_ACP, 0, text.data(),
                                                static_cast<int>(text.size()), nullptr, 0);
  if (wide_length <= 0) return text;
  std::wstring wide(static_cast<std::size_t>(wide_length), L'\0');
  ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()),
                        wide.data(), wide_length);
  const int length = ::WideCharToMultiByte(console, 0, wide.data(), wide_length,
                                           nullptr, 0, nullptr, nullptr);
  if (length <= 0) return text;
  std::string converted(static_cast<std::size_t>(length), '\0');
  ::WideCharToMultiByte(console, 0, wide.data(), wide_length, converted.data(),
                        length, nullptr, nullptr);
  return converted;
}

// The standard streams are in text mode and put a carriage return before
// every line feed; message-file lines bring their own, which would double.
std::string WithoutCarriageReturns(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    out += text[i];
  }
  return out;
}

void Write(std::FILE* stream, const std::string& text) {
  const std::string converted = AnsiToConsole(WithoutCarriageReturns(text));
  std::fwrite(converted.data(), 1, converted.size(), stream);
  std::fflush(stream);
}

class Win32UnattendedHost : public UnattendedHost {
 public:
  InstallServices Services() override { return {files_, drives_, shell_}; }
  int CurrentDriveNumber() override { return orvik::CurrentDriveNumber(); }
  std::FILE* OpenLog(const std::string& path) override { return OpenDebugLogFile(path); }
  void WriteOutput(const std::string& text) override { Write(stdout, text); }
  void WriteError(const std::string& text) override { Write(stderr, text); }

 private:
  Win32FileSystem files_;
  Win32Drives drives_;
  Win32Shell shell_;
};

}  // namespace
}  // namespace orvik

int main(int argc, char** argv) {
  orvik::ApplyProcessHygiene();

  const std::vector<std::string> args(argv + 1, argv + argc);
  const orvik::ParsedArguments parsed = orvik::ParseUnattendedArguments(args);
  if (!parsed.ok) {
    std::fprintf(stderr, "orvik-install: %s\n%s", parsed.error.c_str(),
                 orvik::kUnattendedUsage);
    return orvik::kExitUsage;
  }
  if (parsed.options.help) {
    std::fputs(orvik::kUnattendedUsage, stdout);
    return orvik::kExitSuccess;
  }
  orvik::Win32UnattendedHost host;
  return orvik::RunUnattended(parsed.options, host);
}
