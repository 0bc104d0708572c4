#include "platform/win32/files_in_use.h"

#include <windows.h>
#include <restartmanager.h>

#include <vector>

namespace orvik {

namespace {

// One Restart Manager session, ended whichever way the query ends.
class RestartSession {
 public:
  RestartSession() {
    WCHAR key[CCH_RM_SESSION_KEY + 1] = {};
    started_ = ::RmStartSession(&handle_, 0, key) == ERROR_SUCCESS;
  }
  ~RestartSession() {
    if (started_) ::RmEndSession(handle_);
  }
  RestartSession(const RestartSession&) = delete;
  RestartSession& operator=(const RestartSession&) = delete;

  bool started() const { return started_; }
  DWORD handle() const { return handle_; }

 private:
  DWORD handle_ = 0;
  bool started_ = false;
};

std::wstring Wide(const std::string& text) {
  const int length = ::MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
  if (length <= 0) return std::wstring();
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  ::MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, &wide[0], length);
  wide.resize(static_cast<std::size_t>(length - 1));
  return wide;
}

std::string Narrow(const WCHAR* text) {
  const int length = ::WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (length <= 0) return std::string();
  std::string narrow(static_cast<std::size_t>(length), '\0');
  ::WideCharToMultiByte(CP_ACP, 0, text, -1, &narrow[0], length, nullptr, nullptr);
  narrow.resize(static_cast<std::size_t>(length - 1));
  return narrow;
}

}  // namespace

std::string ProgramsHolding(const std::string& path) {
  RestartSession session;
  if (!session.started()) return std::string();
  const std::wstring wide = Wide(path);
  LPCWSTR files[] = {wide.c_str()};
  if (::RmRegisterResources(session.handle(), 1, files, 0, nullptr, 0, nullptr) != ERROR_SUCCESS)
    return std::string();
  UINT needed = 0;
  UINT count = 0;
  DWORD reasons = 0;
  std::vector<RM_PROCESS_INFO> found;
  DWORD result = ::RmGetList(session.handle(), &needed, &count, nullptr, &reasons);
  if (result == ERROR_MORE_DATA && needed > 0) {
    found.resize(needed);
    count = needed;
    result = ::RmGetList(session.handle(), &needed, &count, found.data(), &reasons);
  }
  if (result != ERROR_SUCCESS) return std::string();
  std::string programs;
  for (UINT i = 0; i < count && i < found.size(); ++i) {
    if (!programs.empty()) programs += ", ";
    programs += Narrow(found[i].strAppName) + " (" +
                std::to_string(found[i].Process.dwProcessId) + ")";
  }
  return programs;
}

}  // namespace orvik
