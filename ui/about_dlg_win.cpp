#include "ui/about_dlg_win.h"

#include "ui/resource_ids.h"

namespace {

INT_PTR CALLBACK AboutProc(HWND box, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG:
            // The system centres a box over its owner only when asked.
            if (const HWND owner = GetWindow(box, GW_OWNER)) {
                RECT outer;
                RECT own;
                GetWindowRect(owner, &outer);
                GetWindowRect(box, &own);
                const int width = own.right - own.left;
                const int height = own.bottom - own.top;
                SetWindowPos(box, nullptr, (outer.left + outer.right - width) / 2,
                             (outer.top + outer.bottom - height) / 2, 0, 0,
                             SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
            }
            return TRUE;
        case WM_COMMAND:
            if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
                EndDialog(box, LOWORD(wParam));
                return TRUE;
            }
            return FALSE;
        default:
            return FALSE;
    }
}

}  // namespace

void CAboutDlg::Run(HWND owner) {
    DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_ABOUTBOX), owner, AboutProc, 0);
}
