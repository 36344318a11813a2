#pragma once
// The ids of the Windows program's resources (app/orvupdate.rc) and of the dialogs' controls.

#define IDD_ABOUTBOX 100
#define IDS_ABOUTBOX 101
#define IDD_ORVUPDATE_DIALOG 102
#define IDR_MAINFRAME 128
#define IDB_PICTURE 130

#define IDC_PROGRESS 1000
#define IDC_HEADLINE 1001
#define IDC_NOTES_CAPTION 1002
#define IDC_NOTES_BOX 1003
#define IDC_STAGE_LINE 1004
#define IDC_PICTURE 1005
#define IDC_NOTES_FRAME 1006
#define IDC_HINT 1007
#define IDC_STATUS_LINE 1008
#define IDC_LINK 1010

// The About item of the dialog's system menu.
#define IDM_ABOUTBOX 0x0010
