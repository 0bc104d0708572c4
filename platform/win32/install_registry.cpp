#include "platform/win32/install_registry.h"

#include <windows.h>

#include <vector>

namespace orvik {

namespace {

constexpr char kUninstallKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

class ScopedKey {
 public:
  ScopedKey() = default;
  ~ScopedKey() {
    if (key_ != nullptr) ::RegCloseKey(key_);
  }
  ScopedKey(const ScopedKey&) = delete;
  ScopedKey& operator=(const ScopedKey&) = delete;

  HKEY* put() { return &key_; }
  HKEY get() const { return key_; }

 private:
  HKEY key_ = nullptr;
};

HKEY Root(bool machine) { return machine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER; }

std::string KeyPath(const std::string& key) { return kUninstallKey + key; }

bool SetText(HKEY key, const char* name, const std::string& value) {
  return ::RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                          static_cast<DWORD>(value.size() + 1)) == ERROR_SUCCESS;
}

bool SetNumber(HKEY key, const char* name, DWORD value) {
  return ::RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                          sizeof value) == ERROR_SUCCESS;
}

}  // namespace

bool WriteRegistration(const Registration& entry, bool machine) {
  ScopedKey key;
  if (::RegCreateKeyExA(Root(machine), KeyPath(entry.key).c_str(), 0, nullptr,
                        REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, nullptr, key.put(),
                        nullptr) != ERROR_SUCCESS)
    return false;
  const HKEY k = key.get();
  return SetText(k, "DisplayName", entry.display_name) &&
         SetText(k, "DisplayVersion", entry.display_version) &&
         SetText(k, "Publisher", entry.publisher) &&
         SetText(k, "InstallLocation", entry.install_location) &&
         SetText(k, "InstallDate", entry.install_date) &&
         SetText(k, "DisplayIcon", entry.display_icon) &&
         SetText(k, "UninstallString", entry.uninstall_string) &&
         SetText(k, "QuietUninstallString", entry.quiet_uninstall_string) &&
         SetNumber(k, "EstimatedSize", entry.estimated_size_kb) &&
         SetNumber(k, "Language", entry.language_id) && SetNumber(k, "NoModify", 1) &&
         SetNumber(k, "NoRepair", 1);
}

bool DeleteRegistration(const std::string& key, bool machine) {
  return ::RegDeleteKeyA(Root(machine), KeyPath(key).c_str()) == ERROR_SUCCESS;
}

std::optional<std::string> ReadInstallLocation(const std::string& key, bool machine) {
  ScopedKey opened;
  if (::RegOpenKeyExA(Root(machine), KeyPath(key).c_str(), 0, KEY_QUERY_VALUE, opened.put()) !=
      ERROR_SUCCESS)
    return std::nullopt;
  DWORD type = 0;
  DWORD size = 0;
  if (::RegQueryValueExA(opened.get(), "InstallLocation", nullptr, &type, nullptr, &size) !=
          ERROR_SUCCESS ||
      type != REG_SZ || size == 0)
    return std::nullopt;
  std::vector<char> value(size + 1, '\0');
  if (::RegQueryValueExA(opened.get(), "InstallLocation", nullptr, &type,
                         reinterpret_cast<BYTE*>(value.data()), &size) != ERROR_SUCCESS)
    return std::nullopt;
  std::string location(value.data());
  if (location.empty()) return std::nullopt;
  return location;
}

}  // namespace orvik
