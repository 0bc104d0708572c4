// Runs the install dialog modally from its resource template and is the
// window that the dialog's logic talks to.
#pragma once

#include <windows.h>

#include "ui/dialog_window.h"
#include "ui/install_dlg.h"

namespace orvik {

class InstallDialogWindow : public DialogWindow {
 public:
  InstallDialogWindow(HINSTANCE instance, CInstallDlg& dialog);

  // Returns the dialog's end result (IDOK, IDCANCEL) once its window is gone.
  INT_PTR DoModal();

  void SetControlText(int control_id, const std::string& text) override;
  std::string ControlText(int control_id) override;
  void CheckButton(int control_id) override;
  void Activate() override;
  void InvalidateAll() override;
  void ShowMessage(const std::string& text, const std::string& caption) override;
  void EndDialog(int result) override;

 private:
  // Stores `this` in the window at WM_INITDIALOG and forwards every later
  // message to HandleMessage. Returns what a dialog procedure returns:
  // TRUE for a message handled, FALSE to let the dialog manager have it.
  static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wparam,
                                     LPARAM lparam);
  INT_PTR HandleMessage(UINT message, WPARAM wparam, LPARAM lparam);

  BOOL OnInitDialog();
  BOOL OnCommand(WPARAM wparam);
  BOOL OnPaint();
  void OnHelp();
  void CenterInWorkArea();

  HINSTANCE instance_;
  CInstallDlg& dialog_;
  HICON icon_;
  HWND window_ = nullptr;
};

}  // namespace orvik
