#include "ui/install_dlg.h"

#include "engine/copy_engine.h"
#include "engine/debug_log.h"
#include "engine/install_message.h"
#include "engine/result_codes.h"
#include "shell/shortcut.h"
#include "ui/resource.h"

namespace orvik {

namespace {

constexpr unsigned kIntroductionFirstLine = 0;
constexpr unsigned kIntroductionLines = 3;
constexpr int kDriveLetters = 32;
constexpr char kNoCopyListDrive = 0;
const char kDialogCaption[] = "Orvik Setup";

std::string DefaultDestFolder() {
  return "c:\\orvik" + std::to_string(g_nProductVersion);
}

}  // namespace

bool CInstallDlg::OnInitDialog() {
  window_->CheckButton(IDC_LANG_ENGLISH);
  OnSelectLanguage('e');
  // Read after the first lookup: a legacy CD has set the version to 7.
  m_strDestDir = DefaultDestFolder();
  UpdateData(false);
  return true;
}

bool CInstallDlg::OnCommand(int command_id) {
  switch (command_id) {
    case IDC_LANG_ENGLISH: OnSelectLanguage('e'); return true;
    case IDC_LANG_DEUTSCH: OnSelectLanguage('d'); return true;
    case IDC_LANG_FRANCAIS: OnSelectLanguage('f'); return true;
    case IDC_LANG_ITALIANO: OnSelectLanguage('i'); return true;
    case IDOK: OnOK(); return true;
    case IDCANCEL: OnCancel(); return true;
    default: return false;
  }
}

void CInstallDlg::OnSelectLanguage(char language) {
  std::string message;
  const int found =
      LoadInstallMessage(services_.files, static_cast<char>(m_cSourceDrive),
                         language, kIntroductionFirstLine, kIntroductionLines,
                         message);
  if (found != kResultOk) SearchCdRomDrives(language, message);
  window_->SetControlText(IDC_MESSAGE, message);
  m_cLanguage = language;
  window_->Activate();
  window_->InvalidateAll();
}

// Tries the CD-ROM drives in letter order; the first that holds the
// language's message file becomes the source drive, in lower case.
bool CInstallDlg::SearchCdRomDrives(char language, std::string& message) {
  const std::uint32_t mask = services_.drives.LogicalDriveMask();
  for (int i = 0; i < kDriveLetters; ++i) {
    if ((mask & (std::uint32_t{1} << i)) == 0) continue;
    const char letter = static_cast<char>('a' + i);
    const std::string root = std::string(1, letter) + ":\\";
    if (services_.drives.DriveType(root) != kDriveCdRom) continue;
    if (LoadInstallMessage(services_.files, letter, language,
                           kIntroductionFirstLine, kIntroductionLines,
                           message) == kResultOk) {
      m_cSourceDrive = letter;
      return true;
    }
  }
  return false;
}

void CInstallDlg::OnOK() {
  UpdateData(true);
  std::string message;
  const int result = CopyInstallFiles(
      services_.files, kNoCopyListDrive, static_cast<char>(m_cSourceDrive),
      static_cast<char>(m_cLanguage), m_strDestDir, message);
  WriteDebugLog("rval = %d\n%s\n", result, message.c_str());
  if (result == kResultOk) CreateDesktopShortcut();
  window_->ShowMessageBox(message, kDialogCaption, kMessageBoxOk);
  // What the framework's own OK handling does: take the data, end with OK.
  UpdateData(true);
  window_->EndDialog(IDOK);
}

void CInstallDlg::OnCancel() { window_->EndDialog(IDCANCEL); }

void CInstallDlg::UpdateData(bool save_and_validate) {
  if (save_and_validate)
    m_strDestDir = window_->ControlText(IDC_DEST_DIR);
  else
    window_->SetControlText(IDC_DEST_DIR, m_strDestDir);
}

// The version is read now, after the copy: the copy's own message lookup
// may have found a legacy CD.
void CInstallDlg::CreateDesktopShortcut() {
  const std::string version = std::to_string(g_nProductVersion);
  services_.shell.InitializeCom();
  CreateShortcut(services_.shell, m_strDestDir + "\\orvik" + version + ".exe",
                 "orvik" + version + ".lnk", m_strDestDir,
                 "Orvik " + version + ".0 (Ostmarrow)", kCsidlDesktop);
  services_.shell.UninitializeCom();
}

}  // namespace orvik
