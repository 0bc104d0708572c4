// Fakes of the dialog window, the drive query and the shell that keep what
// the logic leaves behind: the controls' texts and what a repaint shows,
// the message box, the shortcut saved, the COM apartments still open.
#pragma once

#include <map>
#include <memory>
#include <ostream>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "shell/shell.h"
#include "ui/dialog_window.h"
#include "ui/drives.h"

namespace orvik::testing {

class FakeDialogWindow : public DialogWindow {
 public:
  static constexpr int kStillOpen = -1;

  void SetControlText(int control_id, const std::string& text) override {
    texts[control_id] = text;
  }
  std::string ControlText(int control_id) override { return texts[control_id]; }
  void CheckButton(int control_id) override { checked = control_id; }
  void Activate() override { active = true; }
  // A repaint shows the texts as they are now.
  void InvalidateAll() override { painted = texts; }
  void ShowMessage(const std::string& text, const std::string& caption) override {
    message_box_text = text;
    message_box_caption = caption;
    message_box_over_open_dialog = end_result == kStillOpen;
  }
  void EndDialog(int result) override { end_result = result; }

  std::map<int, std::string> texts;
  std::map<int, std::string> painted;
  int checked = 0;
  bool active = false;
  int end_result = kStillOpen;
  std::string message_box_text;
  std::string message_box_caption;
  bool message_box_over_open_dialog = false;
};

class FakeDrives : public Drives {
 public:
  void AddCdRom(char letter) { cd_roms.insert(letter); }
  bool IsCdRom(char letter) override {
    ++queries;
    return cd_roms.count(letter) != 0;
  }

  std::set<char> cd_roms;
  int queries = 0;
};

// What a saved shortcut file holds.
struct SavedShortcut {
  std::string path;
  std::string target;
  std::string working_directory;
  std::string description;
  bool remember = true;

  bool operator==(const SavedShortcut& other) const {
    return std::tie(path, target, working_directory, description, remember) ==
           std::tie(other.path, other.target, other.working_directory,
                    other.description, other.remember);
  }
};

inline std::ostream& operator<<(std::ostream& out, const SavedShortcut& link) {
  return out << "{" << link.path << " -> " << link.target << " in "
             << link.working_directory << ", \"" << link.description << "\""
             << (link.remember ? "" : ", not remembered") << "}";
}

// A shell whose desktop is `folder` and whose link objects, as the real
// ones, can only be created inside a COM apartment.
class FakeShell : public Shell {
 public:
  std::string DesktopFolder(ShortcutPlace place) override {
    return place == ShortcutPlace::kAllUsersDesktop ? common_folder : folder;
  }
  std::unique_ptr<ShellLink> CreateShellLink() override;
  bool InitializeCom() override {
    if (!com_available) return false;
    ++open_apartments;
    return true;
  }
  void UninitializeCom() override {
    if (open_apartments == 0) ++unbalanced_uninitializations;
    else --open_apartments;
  }

  std::string folder = "C:\\Users\\Ann\\Desktop";
  std::string common_folder = "C:\\Users\\Public\\Desktop";
  bool com_available = true;
  bool can_create_link = true;
  bool has_persist_file = true;
  bool can_save = true;
  std::vector<SavedShortcut> saved;
  int open_apartments = 0;
  int unbalanced_uninitializations = 0;
};

// The link and its persist-file interface are one object: they share its
// properties.
class FakePersistFile : public PersistFile {
 public:
  FakePersistFile(FakeShell& shell, std::shared_ptr<SavedShortcut> properties)
      : shell_(shell), properties_(std::move(properties)) {}
  bool Save(const std::string& path, bool remember) override {
    if (!shell_.can_save) return false;
    SavedShortcut file = *properties_;
    file.path = path;
    file.remember = remember;
    shell_.saved.push_back(file);
    return true;
  }

 private:
  FakeShell& shell_;
  std::shared_ptr<SavedShortcut> properties_;
};

class FakeShellLink : public ShellLink {
 public:
  explicit FakeShellLink(FakeShell& shell) : shell_(shell) {}
  void SetPath(const std::string& target) override { properties_->target = target; }
  void SetWorkingDirectory(const std::string& folder) override {
    properties_->working_directory = folder;
  }
  void SetDescription(const std::string& description) override {
    properties_->description = description;
  }
  std::unique_ptr<PersistFile> QueryPersistFile() override {
    if (!shell_.has_persist_file) return nullptr;
    return std::make_unique<FakePersistFile>(shell_, properties_);
  }

 private:
  FakeShell& shell_;
  std::shared_ptr<SavedShortcut> properties_ = std::make_shared<SavedShortcut>();
};

inline std::unique_ptr<ShellLink> FakeShell::CreateShellLink() {
  if (!can_create_link || open_apartments == 0) return nullptr;
  return std::make_unique<FakeShellLink>(*this);
}

}  // namespace orvik::testing
