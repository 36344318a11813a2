#pragma once
// The update dialog on Windows: dialog template 102 with a window procedure over the dialog
// logic that every front end shares. The engine's messages arrive as posted window messages
// under their own ids and are handled on the dialog's thread.

#include <windows.h>

#include <string>

#include "platform/message_target.h"
#include "ui/dialog_model.h"
#include "ui/front_end.h"

class CUpdateManager;

class COrvUpdateDlg {
public:
    // The window is the engine's message target; it belongs to the front end and outlives the
    // dialog, for a worker that goes on after the dialog ended.
    COrvUpdateDlg(CUpdateManager& manager, platform::MessageTarget& window);
    COrvUpdateDlg(const COrvUpdateDlg&) = delete;
    COrvUpdateDlg& operator=(const COrvUpdateDlg&) = delete;
    ~COrvUpdateDlg();

    // Shows the dialog, starts the worker and runs the dialog's message loop until the worker's
    // WM_QUIT or the user's close (Esc, the close button, Alt+F4, Ctrl+C on a console). A close
    // while the installation folder is being changed waits for the worker's WM_QUIT.
    FrontEnd::DialogEnd Run();

private:
    static INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR Handle(UINT message, WPARAM wParam, LPARAM lParam);
    void Initialise();
    void Place(int id, int x, int y, int width, int height, bool shown);
    void TakeMessages();
    void ShowModel();
    void RequestClose();
    void OpenLink();
    bool PaintMinimised();

    CUpdateManager& manager_;
    platform::MessageTarget& window_;
    DialogModel model_;
    HWND dialog_ = nullptr;
    HWND link_ = nullptr;
    HWND tooltip_ = nullptr;
    HICON icon_ = nullptr;
    HBITMAP picture_ = nullptr;
    HFONT headlineFont_ = nullptr;
    HFONT linkFont_ = nullptr;
    std::u16string homepage_;
    std::u16string shownStage_;
    std::u16string shownStatus_;
    unsigned barShift_ = 0;
    bool linkVisited_ = false;
    bool ended_ = false;
    FrontEnd::DialogEnd end_ = FrontEnd::DialogEnd::ClosedByUser;
};
