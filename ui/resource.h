// Identifiers of the resources in setup.rc, shared by the resource script,
// the dialog code and the tests.
#pragma once

#define IDD_INSTALL_DIALOG 102
#define IDR_MAINFRAME 128
#define IDC_DEST_DIR 1005
#define IDC_LANG_ENGLISH 1008
#define IDC_LANG_DEUTSCH 1009
#define IDC_LANG_FRANCAIS 1010
#define IDC_LANG_ITALIANO 1011
#define IDC_MESSAGE 1012

// The help command that F1 sends; the dialog's help context is its
// template number plus this base.
#define ID_HELP 0xE146
#define HID_BASE_RESOURCE 0x20000

#ifndef IDOK
#define IDOK 1
#define IDCANCEL 2
#endif
