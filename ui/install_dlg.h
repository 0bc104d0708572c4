// The install dialog: language choice with the CD-drive search, the
// destination folder, and the install action behind OK. The window itself
// is a DialogWindow that the platform's modal loop attaches while it runs.
#pragma once

#include <string>

#include "ui/dialog_window.h"
#include "ui/install_services.h"

namespace orvik {

class CInstallDlg {
 public:
  explicit CInstallDlg(InstallServices services) : services_(services) {}
  CInstallDlg(const CInstallDlg&) = delete;
  CInstallDlg& operator=(const CInstallDlg&) = delete;

  // The window the dialog runs in, from its creation until it ends.
  void Attach(DialogWindow* window) { window_ = window; }

  // Returns true: the platform then focuses the first tab stop.
  bool OnInitDialog();
  // A button click or a menu command; false when no handler takes it.
  bool OnCommand(int command_id);
  void OnSelectLanguage(char language);
  void OnOK();
  void OnCancel();

  // Moves the folder text between the edit control and m_strDestDir.
  void UpdateData(bool save_and_validate);

  int m_cSourceDrive = 0;
  int m_cLanguage = 0;
  std::string m_strDestDir;

 private:
  InstallServices services_;
  DialogWindow* window_ = nullptr;
};

}  // namespace orvik
