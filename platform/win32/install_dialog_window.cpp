#include "platform/win32/install_dialog_window.h"

#include <string>
#include <vector>

#include "platform/win32/win32_file_system.h"
#include "ui/resource.h"

namespace orvik {

namespace {

// The help file is the program's own path with ".HLP" for its extension.
std::string HelpFilePath(HINSTANCE instance) {
  std::string module = ModuleFileName(instance);
  if (module.empty()) return std::string();
  const auto dot = module.find_last_of(".\\/");
  if (dot != std::string::npos && module[dot] == '.') module.resize(dot);
  return module + ".HLP";
}

// The state at the time of the key that is being handled, not of now.
bool ModifierKeysUp() {
  return ::GetKeyState(VK_SHIFT) >= 0 && ::GetKeyState(VK_CONTROL) >= 0 &&
         ::GetKeyState(VK_MENU) >= 0;
}

// The caption of the program's own message boxes: its file name without
// the extension.
std::string ApplicationName(HINSTANCE instance) {
  std::string path = HelpFilePath(instance);
  const auto slash = path.find_last_of("\\/");
  if (slash != std::string::npos) path.erase(0, slash + 1);
  const auto dot = path.rfind('.');
  if (dot != std::string::npos) path.resize(dot);
  return path;
}

}  // namespace

InstallDialogWindow::InstallDialogWindow(HINSTANCE instance,
                                         CInstallDlg& dialog)
    : instance_(instance),
      dialog_(dialog),
      // A shared resource: the system owns it, nobody destroys it.
      icon_(::LoadIconA(instance, MAKEINTRESOURCEA(IDR_MAINFRAME))) {}

INT_PTR InstallDialogWindow::DoModal() {
  return ::DialogBoxParamA(instance_, MAKEINTRESOURCEA(IDD_INSTALL_DIALOG),
                           nullptr, DialogProc, reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK InstallDialogWindow::DialogProc(HWND window, UINT message,
                                                 WPARAM wparam, LPARAM lparam) {
  if (message == WM_INITDIALOG) {
    auto* self = reinterpret_cast<InstallDialogWindow*>(lparam);
    ::SetWindowLongPtrA(window, DWLP_USER, lparam);
    self->window_ = window;
  }
  auto* self = reinterpret_cast<InstallDialogWindow*>(
      ::GetWindowLongPtrA(window, DWLP_USER));
  if (self == nullptr) return FALSE;
  // No exception may cross into the system's dispatch code.
  try {
    return self->HandleMessage(message, wparam, lparam);
  } catch (...) {
    return FALSE;
  }
}

INT_PTR InstallDialogWindow::HandleMessage(UINT message, WPARAM wparam,
                                           LPARAM /*lparam*/) {
  switch (message) {
    case WM_INITDIALOG: return OnInitDialog();
    case WM_COMMAND: return OnCommand(wparam);
    case WM_PAINT: return OnPaint();
    case WM_QUERYDRAGICON: return reinterpret_cast<INT_PTR>(icon_);
    case WM_HELP:
      // Shift+F1 and the like are other keys: Help is F1 alone.
      if (!ModifierKeysUp()) return FALSE;
      OnHelp();
      return TRUE;
    default: return FALSE;
  }
}

BOOL InstallDialogWindow::OnInitDialog() {
  dialog_.Attach(this);
  CenterInWorkArea();
  ::SendMessageA(window_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_));
  ::SendMessageA(window_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon_));
  // TRUE: the dialog manager focuses the first tab stop, the folder edit.
  return dialog_.OnInitDialog() ? TRUE : FALSE;
}

BOOL InstallDialogWindow::OnCommand(WPARAM wparam) {
  // Edit notifications (EN_CHANGE and the like) are no commands.
  if (HIWORD(wparam) != BN_CLICKED) return FALSE;
  const int command = LOWORD(wparam);
  if (command == ID_HELP) {
    OnHelp();
    return TRUE;
  }
  return dialog_.OnCommand(command) ? TRUE : FALSE;
}

// Only the minimised window is painted here: the icon, centred.
BOOL InstallDialogWindow::OnPaint() {
  if (!::IsIconic(window_)) return FALSE;
  PAINTSTRUCT paint;
  HDC dc = ::BeginPaint(window_, &paint);
  ::SendMessageA(window_, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
  const int icon_width = ::GetSystemMetrics(SM_CXICON);
  const int icon_height = ::GetSystemMetrics(SM_CYICON);
  RECT client;
  ::GetClientRect(window_, &client);
  const int x = (client.right - client.left - icon_width + 1) / 2;
  const int y = (client.bottom - client.top - icon_height + 1) / 2;
  ::DrawIcon(dc, x, y, icon_);
  ::EndPaint(window_, &paint);
  return TRUE;
}

void InstallDialogWindow::OnHelp() {
  const std::string help_file = HelpFilePath(instance_);
  if (!::WinHelpA(window_, help_file.c_str(), HELP_CONTEXT,
                  HID_BASE_RESOURCE + IDD_INSTALL_DIALOG)) {
    ::MessageBoxA(window_, "Failed to launch help.",
                  ApplicationName(instance_).c_str(), MB_OK | MB_ICONEXCLAMATION);
  }
}

// The dialog has no owner, so it is centred in the work area of the
// screen it is on.
void InstallDialogWindow::CenterInWorkArea() {
  RECT work;
  MONITORINFO monitor = {};
  monitor.cbSize = sizeof monitor;
  if (::GetMonitorInfoA(::MonitorFromWindow(window_, MONITOR_DEFAULTTOPRIMARY),
                        &monitor)) {
    work = monitor.rcWork;
  } else {
    ::SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
  }
  RECT frame;
  ::GetWindowRect(window_, &frame);
  const int width = frame.right - frame.left;
  const int height = frame.bottom - frame.top;
  const int x = work.left + (work.right - work.left - width) / 2;
  const int y = work.top + (work.bottom - work.top - height) / 2;
  ::SetWindowPos(window_, nullptr, x, y, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void InstallDialogWindow::SetControlText(int control_id,
                                         const std::string& text) {
  ::SetDlgItemTextA(window_, control_id, text.c_str());
}

std::string InstallDialogWindow::ControlText(int control_id) {
  HWND control = ::GetDlgItem(window_, control_id);
  const int length = ::GetWindowTextLengthA(control);
  std::vector<char> text(static_cast<std::size_t>(length) + 1);
  const int got = ::GetWindowTextA(control, text.data(), length + 1);
  return std::string(text.data(), got > 0 ? static_cast<std::size_t>(got) : 0);
}

void InstallDialogWindow::CheckButton(int control_id) {
  ::SendMessageA(::GetDlgItem(window_, control_id), BM_SETCHECK, BST_CHECKED, 0);
}

void InstallDialogWindow::Activate() { ::SetActiveWindow(window_); }

void InstallDialogWindow::InvalidateAll() {
  ::InvalidateRect(window_, nullptr, TRUE);
}

void InstallDialogWindow::ShowMessage(const std::string& text,
                                      const std::string& caption) {
  ::MessageBoxA(window_, text.c_str(), caption.c_str(), MB_OK);
}

void InstallDialogWindow::EndDialog(int result) { ::EndDialog(window_, result); }

}  // namespace orvik
