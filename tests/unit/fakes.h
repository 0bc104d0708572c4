// Fakes of the dialog window, the drive queries and the shell that record
// what the logic asks of them, in order.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "shell/shell.h"
#include "ui/dialog_window.h"
#include "ui/drives.h"

namespace orvik::testing {

class FakeDialogWindow : public DialogWindow {
 public:
  void SetControlText(int control_id, const std::string& text) override {
    texts[control_id] = text;
    calls.push_back("text " + std::to_string(control_id));
  }
  std::string ControlText(int control_id) override { return texts[control_id]; }
  void CheckButton(int control_id) override {
    checked = control_id;
    calls.push_back("check " + std::to_string(control_id));
  }
  void Activate() override { calls.push_back("activate"); }
  void InvalidateAll() override { calls.push_back("invalidate"); }
  void ShowMessageBox(const std::string& text, const std::string& caption,
                      unsigned type) override {
    calls.push_back("messagebox");
    message_box_text = text;
    message_box_caption = caption;
    message_box_type = type;
  }
  void EndDialog(int result) override {
    calls.push_back("end " + std::to_string(result));
    end_result = result;
  }

  std::map<int, std::string> texts;
  std::vector<std::string> calls;
  int checked = 0;
  int end_result = 0;
  std::string message_box_text;
  std::string message_box_caption;
  unsigned message_box_type = 99;
};

class FakeDrives : public Drives {
 public:
  // Drive `letter` (lower case) present with `type`.
  void Add(char letter, unsigned type) {
    mask |= 1u << (letter - 'a');
    types[std::string(1, letter) + ":\\"] = type;
  }
  std::uint32_t LogicalDriveMask() override {
    ++mask_queries;
    return mask;
  }
  unsigned DriveType(const std::string& root) override {
    probed.push_back(root);
    const auto type = types.find(root);
    return type == types.end() ? 1u : type->second;  // DRIVE_NO_ROOT_DIR
  }

  std::uint32_t mask = 0;
  std::map<std::string, unsigned> types;
  std::vector<std::string> probed;
  int mask_queries = 0;
};

constexpr unsigned kDriveFixed = 3;

// Records every shell call as a line ("SetPath c:\x"), so tests can check
// the order, the values and the releases.
class FakeShell : public Shell {
 public:
  std::string DesktopFolder(ShortcutPlace place) override {
    const bool all_users = place == ShortcutPlace::kAllUsersDesktop;
    calls.push_back(all_users ? "DesktopFolder all-users" : "DesktopFolder user");
    return all_users ? common_folder : folder;
  }
  std::unique_ptr<ShellLink> CreateShellLink() override;
  void InitializeCom() override { calls.push_back("CoInitialize"); }
  void UninitializeCom() override { calls.push_back("CoUninitialize"); }

  std::string folder = "C:\\Users\\Ann\\Desktop";
  std::string common_folder = "C:\\Users\\Public\\Desktop";
  bool can_create_link = true;
  bool has_persist_file = true;
  bool can_save = true;
  std::vector<std::string> calls;
};

class FakePersistFile : public PersistFile {
 public:
  explicit FakePersistFile(FakeShell& shell) : shell_(shell) {}
  ~FakePersistFile() override { shell_.calls.push_back("Release IPersistFile"); }
  bool Save(const std::string& path, bool remember) override {
    shell_.calls.push_back("Save " + path + (remember ? " TRUE" : " FALSE"));
    return shell_.can_save;
  }

 private:
  FakeShell& shell_;
};

class FakeShellLink : public ShellLink {
 public:
  explicit FakeShellLink(FakeShell& shell) : shell_(shell) {}
  ~FakeShellLink() override { shell_.calls.push_back("Release IShellLinkA"); }
  void SetPath(const std::string& target) override {
    shell_.calls.push_back("SetPath " + target);
  }
  void SetWorkingDirectory(const std::string& folder) override {
    shell_.calls.push_back("SetWorkingDirectory " + folder);
  }
  void SetDescription(const std::string& description) override {
    shell_.calls.push_back("SetDescription " + description);
  }
  std::unique_ptr<PersistFile> QueryPersistFile() override {
    shell_.calls.push_back("QueryInterface IPersistFile");
    if (!shell_.has_persist_file) return nullptr;
    return std::make_unique<FakePersistFile>(shell_);
  }

 private:
  FakeShell& shell_;
};

inline std::unique_ptr<ShellLink> FakeShell::CreateShellLink() {
  calls.push_back("CoCreateInstance ShellLink");
  if (!can_create_link) return nullptr;
  return std::make_unique<FakeShellLink>(*this);
}

}  // namespace orvik::testing
