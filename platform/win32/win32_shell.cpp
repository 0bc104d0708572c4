#include "platform/win32/win32_shell.h"

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include "platform/win32/process_hygiene.h"
#include "platform/win32/scoped_win.h"

namespace orvik {

namespace {

class Win32PersistFile : public PersistFile {
 public:
  explicit Win32PersistFile(ComPtr<IPersistFile> persist)
      : persist_(std::move(persist)) {}

  bool Save(const std::string& path, bool remember) override {
    wchar_t wide_path[kShellPathCapacity];
    // A path that does not fit is not converted at all (result 0), and is
    // then not saved rather than saved under a cut name.
    const int converted = ::MultiByteToWideChar(
        CP_ACP, 0, path.c_str(), -1, wide_path,
        static_cast<int>(kShellPathCapacity));
    if (converted == 0) return false;
    return SUCCEEDED(persist_->Save(wide_path, remember ? TRUE : FALSE));
  }

 private:
  ComPtr<IPersistFile> persist_;
};

class Win32ShellLink : public ShellLink {
 public:
  explicit Win32ShellLink(ComPtr<IShellLinkA> link) : link_(std::move(link)) {}

  // The shell's results for the three properties are ignored on purpose:
  // the save decides whether a shortcut exists.
  void SetPath(const std::string& target) override {
    link_->SetPath(target.c_str());
  }
  void SetWorkingDirectory(const std::string& folder) override {
    link_->SetWorkingDirectory(folder.c_str());
  }
  void SetDescription(const std::string& description) override {
    link_->SetDescription(description.c_str());
  }
  std::unique_ptr<PersistFile> QueryPersistFile() override {
    ComPtr<IPersistFile> persist;
    if (FAILED(link_->QueryInterface(IID_IPersistFile, persist.put_void())))
      return nullptr;
    return std::make_unique<Win32PersistFile>(std::move(persist));
  }

 private:
  ComPtr<IShellLinkA> link_;
};

}  // namespace

std::string Win32Shell::DesktopFolder(ShortcutPlace place) {
  const int folder_id = place == ShortcutPlace::kAllUsersDesktop
                            ? CSIDL_COMMON_DESKTOPDIRECTORY
                            : CSIDL_DESKTOP;
  // Bound at run time: shell32 is not imported (see SystemProcedure).
  const auto folder_location = SystemFunction<decltype(&::SHGetSpecialFolderLocation)>(
      "shell32.dll", "SHGetSpecialFolderLocation");
  const auto path_from_list = SystemFunction<decltype(&::SHGetPathFromIDListA)>(
      "shell32.dll", "SHGetPathFromIDListA");
  if (folder_location == nullptr || path_from_list == nullptr) return std::string();
  ScopedCoMem<ITEMIDLIST> item_list;
  if (FAILED(folder_location(nullptr, folder_id, item_list.put()))) return std::string();
  char path[MAX_PATH];
  if (!path_from_list(item_list.get(), path)) return std::string();
  return path;
}

std::unique_ptr<ShellLink> Win32Shell::CreateShellLink() {
  ComPtr<IShellLinkA> link;
  if (FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                IID_IShellLinkA, link.put_void())))
    return nullptr;
  return std::make_unique<Win32ShellLink>(std::move(link));
}

// S_FALSE (already initialised on this thread) is a success and owes a
// CoUninitialize like S_OK.
bool Win32Shell::InitializeCom() { return SUCCEEDED(::CoInitialize(nullptr)); }

void Win32Shell::UninitializeCom() { ::CoUninitialize(); }

}  // namespace orvik
