#include "ui/install_dlg.h"

#include "ui/install_action.h"
#include "ui/resource.h"

namespace orvik {

namespace {

const char kDialogCaption[] = "Orvik Setup";

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
  FindIntroduction(services_.files, services_.drives, m_cSourceDrive, language,
                   message);
  window_->SetControlText(IDC_MESSAGE, message);
  m_cLanguage = language;
  window_->Activate();
  window_->InvalidateAll();
}

void CInstallDlg::OnOK() {
  UpdateData(true);
  InstallRequest request;
  request.source = CdDrive(static_cast<char>(m_cSourceDrive));
  request.language = static_cast<char>(m_cLanguage);
  request.dest_folder = m_strDestDir;
  window_->ShowMessage(RunInstallation(services_, request).copy.message, kDialogCaption);
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

}  // namespace orvik
