#include "platform/win32/install_security.h"

#include <windows.h>
#include <aclapi.h>
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
const char kRestrictedOwnedFolderSddl[] =
    "O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)";

// Rights that let their holder move the installation elsewhere or take
// the folder over: rename or delete it, delete what it holds, change its
// access list or owner. Generic rights are included as they may stand
// unmapped in an entry.
constexpr DWORD kChangesToAFolderAbove = DELETE | FILE_DELETE_CHILD | WRITE_DAC |
                                         WRITE_OWNER | GENERIC_ALL | GENERIC_WRITE;
// In the destination, also adding a file (a planted DLL) and writing the
// files it will hold.
constexpr DWORD kChangesToTheDestination =
    kChangesToAFolderAbove | FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA |
    FILE_WRITE_ATTRIBUTES;

struct LocalFreeDeleter {
  void operator()(void* memory) const { ::LocalFree(memory); }
};

// TrustedInstaller, the service that owns the system's own folders.
const char kTrustedInstallerSid[] =
    "S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";

// The accounts an elevated run may leave a folder to: SYSTEM,
// Administrators, TrustedInstaller, the running account itself, and the
// owner placeholders, which stand for an owner already checked.
class TrustedAccounts {
 public:
  TrustedAccounts() {
    PSID raw = nullptr;
    if (::ConvertStringSidToSidA(kTrustedInstallerSid, &raw))
      trusted_installer_.reset(raw);
  }

  bool Contains(PSID sid) const {
    for (WELL_KNOWN_SID_TYPE type : {WinLocalSystemSid, WinBuiltinAdministratorsSid,
                                     WinCreatorOwnerSid, WinCreatorOwnerRightsSid})
      if (::IsWellKnownSid(sid, type)) return true;
    if (trusted_installer_ && ::EqualSid(sid, trusted_installer_.get())) return true;
    return user_ && ::EqualSid(sid, RunningUserSid(user_));
  }

 private:
  std::unique_ptr<void, LocalFreeDeleter> trusted_installer_;
  const std::unique_ptr<char[]> user_ = RunningUser();
};

bool IsElevatedAdministrator() {
  // In a buffer of our own: nothing to free.
  BYTE administrators[SECURITY_MAX_SID_SIZE];
  DWORD size = sizeof administrators;
  if (!::CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, administrators, &size))
    return false;
  BOOL member = FALSE;
  // A filtered (not elevated) token has the group for deny only: not a member.
  if (!::CheckTokenMembership(nullptr, administrators, &member)) member = FALSE;
  return member != FALSE;
}

}  // namespace

std::unique_ptr<char[]> RunningUser() {
  HANDLE raw = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &raw)) return nullptr;
  const ScopedHandle token(raw);
  DWORD size = 0;
  ::GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
  if (size == 0) return nullptr;
  std::unique_ptr<char[]> user(new char[size]);
  if (!::GetTokenInformation(token.get(), TokenUser, user.get(), size, &size)) return nullptr;
  return user;
}

PSID RunningUserSid(const std::unique_ptr<char[]>& user) {
  return reinterpret_cast<const TOKEN_USER*>(user.get())->User.Sid;
}

Account CurrentAccount() {
  const auto user = RunningUser();
  if (user && ::IsWellKnownSid(RunningUserSid(user), WinLocalSystemSid)) return Account::kSystem;
  return IsElevatedAdministrator() ? Account::kAdministrator : Account::kUser;
}

bool CreateFolderWith(const std::string& path, const char* sddl) {
  PSECURITY_DESCRIPTOR raw = nullptr;
  if (!::ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1,
                                                              &raw, nullptr))
    return false;
  std::unique_ptr<void, LocalFreeDeleter> descriptor(raw);
  SECURITY_ATTRIBUTES attributes = {sizeof attributes, descriptor.get(), FALSE};
  return ::CreateDirectoryA(path.c_str(), &attributes) != FALSE;
}

bool CreateInstallFolder(const std::string& path, bool restricted) {
  if (!restricted) return ::CreateDirectoryA(path.c_str(), nullptr) != FALSE;
  // Administrators as the owner, so that a later run as SYSTEM or as
  // another administrator accepts the folder; a token that may not assign
  // that owner gets its default one, which it accepts itself.
  if (CreateFolderWith(path, kRestrictedOwnedFolderSddl)) return true;
  return ::GetLastError() == ERROR_INVALID_OWNER &&
         CreateFolderWith(path, kRestrictedFolderSddl);
}

bool OnlyAdministratorsControl(const std::string& path, bool receives_files) {
  PSID owner = nullptr;
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR raw = nullptr;
  if (::GetNamedSecurityInfoA(path.c_str(), SE_FILE_OBJECT,
                              OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                              &owner, nullptr, &dacl, nullptr, &raw) != ERROR_SUCCESS)
    return false;
  std::unique_ptr<void, LocalFreeDeleter> descriptor(raw);
  const TrustedAccounts trusted;
  // No access list at all (FAT, exFAT, a null DACL) lets everyone do anything.
  if (owner == nullptr || dacl == nullptr || !trusted.Contains(owner)) return false;
  const DWORD forbidden = receives_files ? kChangesToTheDestination : kChangesToAFolderAbove;
  for (DWORD i = 0; i < dacl->AceCount; ++i) {
    void* raw_ace = nullptr;
    if (!::GetAce(dacl, i, &raw_ace)) return false;
    const auto* header = static_cast<const ACE_HEADER*>(raw_ace);
    if (header->AceType == ACCESS_DENIED_ACE_TYPE) continue;
    // Object and callback entries are not expected on a folder: unknown
    // grants are not taken on trust.
    if (header->AceType != ACCESS_ALLOWED_ACE_TYPE) return false;
    // Above the destination, only what applies to the folder itself counts;
    // in it, also what its new files and folders will inherit.
    if (!receives_files && (header->AceFlags & INHERIT_ONLY_ACE) != 0) continue;
    const auto* ace = static_cast<const ACCESS_ALLOWED_ACE*>(raw_ace);
    const PSID sid = const_cast<DWORD*>(&ace->SidStart);
    if ((ace->Mask & forbidden) != 0 && !trusted.Contains(sid)) return false;
  }
  return true;
}

}  // namespace orvik
