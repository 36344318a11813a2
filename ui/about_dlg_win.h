#pragma once
// The About box on Windows: dialog template 100, run modally from the update dialog's system
// menu. Its modal loop also delivers the engine's messages to the update dialog.

#include <windows.h>

class CAboutDlg {
public:
    // Runs the box modally, owned by the given window, until OK, Enter, Esc, its close command or
    // WM_QUIT (which the loop passes on) ends it.
    static void Run(HWND owner);
};
