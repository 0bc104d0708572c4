// orvik-install.exe: the unattended installer, a console program.
#include <windows.h>

#include <cstdio>
#include <new>
#include <string>
#include <vector>

#include "app/fleet_log.h"
#include "app/unattended.h"
#include "engine/windows_path.h"
#include "platform/win32/code_page.h"
#include "platform/win32/debug_log_file.h"
#include "platform/win32/files_in_use.h"
#include "platform/win32/install_registry.h"
#include "platform/win32/install_lock.h"
#include "platform/win32/install_security.h"
#include "platform/win32/process_hygiene.h"
#include "platform/win32/scoped_win.h"
#include "platform/win32/win32_file_system.h"
#include "platform/win32/win32_install_services.h"

namespace orvik {
namespace {

// Message-file text is in the ANSI code page; the console shows its own.
std::string AnsiToConsole(const std::string& text) {
  UINT console = ::GetConsoleOutputCP();
  if (console == 0) console = ::GetOEMCP();
  return ConvertCodePage(text, CP_ACP, console);
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

std::string FullPathOf(const std::string& path) {
  const DWORD needed = ::GetFullPathNameA(path.c_str(), 0, nullptr, nullptr);
  if (needed == 0) return std::string();
  std::vector<char> buffer(needed + 1);
  const DWORD length = ::GetFullPathNameA(
      path.c_str(), static_cast<DWORD>(buffer.size()), buffer.data(), nullptr);
  if (length == 0 || length >= buffer.size()) return std::string();
  return std::string(buffer.data(), length);
}

std::string UtcNow() {
  SYSTEMTIME now;
  ::GetSystemTime(&now);
  char text[32];
  std::snprintf(text, sizeof text, "%04u-%02u-%02uT%02u:%02u:%02uZ", now.wYear,
                now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond);
  return text;
}

// "MACHINE\\Administrator", "NT AUTHORITY\\SYSTEM"; empty when unknown.
std::string RunningAccountName() {
  const auto user = RunningUser();
  if (!user) return std::string();
  const PSID sid = RunningUserSid(user);
  char name[256];
  char domain[256];
  DWORD name_size = sizeof name;
  DWORD domain_size = sizeof domain;
  SID_NAME_USE use;
  if (!::LookupAccountSidA(nullptr, sid, name, &name_size, domain, &domain_size, &use))
    return std::string();
  return std::string(domain) + "\\" + name;
}

class Win32UnattendedHost : public UnattendedHost {
 public:
  InstallServices Services() override { return services_.Get(); }
  std::string ModuleFolder() override { return FolderOf(ModuleFileName(nullptr)); }
  std::string ModulePath() override { return ModuleFileName(nullptr); }
  std::string CommandLine() override { return ::GetCommandLineA(); }
  std::string AccountName() override { return RunningAccountName(); }
  std::string FullPath(const std::string& path) override { return FullPathOf(path); }
  Account RunningAccount() override { return CurrentAccount(); }
  bool TakeInstallLock() override { return lock_.Take(); }
  bool CreateFolder(const std::string& folder, bool restricted) override {
    return CreateInstallFolder(folder, restricted);
  }
  bool OnlyAdministratorsCanChange(const std::string& folder, bool receives_files) override {
    return OnlyAdministratorsControl(folder, receives_files);
  }
  std::string UtcTime() override { return UtcNow(); }
  std::FILE* OpenLog(const std::string& path) override { return OpenDebugLogFile(path, kLogStart); }
  bool Register(const Registration& entry, bool machine) override {
    return WriteRegistration(entry, machine);
  }
  bool Unregister(const std::string& key, bool machine) override {
    return DeleteRegistration(key, machine);
  }
  std::optional<std::string> RegisteredFolder(const std::string& key, bool machine) override {
    return ReadInstallLocation(key, machine);
  }
  std::string ProgramsUsing(const std::string& path) override { return ProgramsHolding(path); }
  void WriteOutput(const std::string& text) override { Write(stdout, text); }
  void WriteError(const std::string& text) override { Write(stderr, text); }

 private:
  Win32InstallServices services_;
  InstallLock lock_;
};

}  // namespace
}  // namespace orvik

namespace orvik {
namespace {

int RunFromCommandLine() {
  const ParsedArguments parsed = ParseUnattendedArguments(SplitCommandLine(::GetCommandLineA()));
  if (!parsed.ok) {
    Write(stderr, "orvik-install: " + parsed.error + " (orvik-install --help shows the usage)\n");
    return kExitUsage;
  }
  if (parsed.options.help) {
    Write(stdout, UnattendedUsage());
    return kExitSuccess;
  }
  Win32UnattendedHost host;
  return RunUnattended(parsed.options, host);
}

}  // namespace
}  // namespace orvik

// The raw command line, not argv: the C runtime would take the quote of
// --dest "C:\Program Files\Orvik\" for a character of the folder. No
// exception may reach the runtime, whose abort exits with 3, a status
// that means "the destination folder cannot be created".
int main() {
  orvik::ApplyProcessHygiene();
  try {
    return orvik::RunFromCommandLine();
  } catch (const std::bad_alloc&) {
    std::fputs("orvik-install: not enough memory\n", stderr);
    return orvik::kExitOutOfMemory;
  } catch (...) {
    std::fputs("orvik-install: the installation failed unexpectedly\n", stderr);
    return orvik::kExitUnknownResult;
  }
}
