#include "platform/win32/install_security.h"

#include <windows.h>
#include <sddl.h>

#include <memory>

#include "platform/win32/scoped_win.h"

namespace orvik {

namespace {

// Protected (P): nothing inherited from the parent. Folders and files
// below inherit (OICI): SYSTEM and Administrators full control, Users read
// and execute, as Program Files has them.
const char kRestrictedFolderSddl[] =
    "D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)";

struct LocalFreeDeleter {
  void operator()(void* memory) const { ::LocalFree(memory); }
};

bool TokenIsSystem(HANDLE token) {
  DWORD size = 0;
  ::GetTokenInformation(token, TokenUser, nullptr, 0, &size);
  if (size == 0) return false;
  std::unique_ptr<char[]> buffer(new char[size]);
  if (!::GetTokenInformation(token, TokenUser, buffer.get(), size, &size)) return false;
  const auto* user = reinterpret_cast<const TOKEN_USER*>(buffer.get());
  return ::IsWellKnownSid(user->User.Sid, WinLocalSystemSid) != FALSE;
}

bool IsElevatedAdministrator() {
  SID_IDENTIFIER_AUTHORITY nt_authority = SECURITY_NT_AUTHORITY;
  PSID administrators = nullptr;
  if (!::AllocateAndInitializeSid(&nt_authority, 2, SECURITY_BUILTIN_DOMAIN_RID,
                                  DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0,
                                  &administrators))
    return false;
  BOOL member = FALSE;
  // A filtered (not elevated) token has the group for deny only: not a member.
  if (!::CheckTokenMembership(nullptr, administrators, &member)) member = FALSE;
  ::FreeSid(administrators);
  return member != FALSE;
}

}  // namespace

Account CurrentAccount() {
  HANDLE raw = nullptr;
  if (::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &raw)) {
    ScopedFileHandle token(raw);
    if (TokenIsSystem(token.get())) return Account::kSystem;
  }
  return IsElevatedAdministrator() ? Account::kAdministrator : Account::kUser;
}

FolderState FolderStateOf(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return FolderState::kMissing;
  if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return FolderState::kLink;
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return FolderState::kFolder;
  return FolderState::kNotAFolder;
}

bool CreateInstallFolder(const std::string& path, bool restricted) {
  if (!restricted) return ::CreateDirectoryA(path.c_str(), nullptr) != FALSE;
  PSECURITY_DESCRIPTOR raw = nullptr;
  if (!::ConvertStringSecurityDescriptorToSecurityDescriptorA(
          kRestrictedFolderSddl, SDDL_REVISION_1, &raw, nullptr))
    return false;
  std::unique_ptr<void, LocalFreeDeleter> descriptor(raw);
  SECURITY_ATTRIBUTES attributes = {sizeof attributes, descriptor.get(), FALSE};
  return ::CreateDirectoryA(path.c_str(), &attributes) != FALSE;
}

namespace {

// CREATE_NEW on the name itself, never through a link: the temporary file
// is ours alone, even in a folder where others may create files.
ScopedFileHandle CreateTemporaryBeside(const std::string& path, std::string& temporary) {
  constexpr unsigned kAttempts = 16;
  for (unsigned attempt = 0; attempt < kAttempts; ++attempt) {
    temporary = path + ".~" + std::to_string(::GetCurrentProcessId()) + "-" +
                std::to_string(attempt);
    ScopedFileHandle created(::CreateFileA(
        temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
        FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (created.valid() || ::GetLastError() != ERROR_FILE_EXISTS) return created;
  }
  return ScopedFileHandle();
}

}  // namespace

bool ReplaceFileWith(const std::string& path, const std::string& content) {
  std::string temporary;
  ScopedFileHandle file = CreateTemporaryBeside(path, temporary);
  if (!file.valid()) return false;
  DWORD written = 0;
  const bool complete =
      ::WriteFile(file.get(), content.data(), static_cast<DWORD>(content.size()),
                  &written, nullptr) &&
      written == content.size() && ::FlushFileBuffers(file.get());
  if (!file.Close() || !complete ||
      !::MoveFileExA(temporary.c_str(), path.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    ::DeleteFileA(temporary.c_str());
    return false;
  }
  return true;
}

}  // namespace orvik
