#include "ui/orv_update_dlg_win.h"

#include <commctrl.h>
#include <shellapi.h>

#include <algorithm>
#include <climits>
#include <cstdint>

#include "core/messages.h"
#include "engine/update_manager.h"
#include "platform/interrupt.h"
#include "ui/about_dlg_win.h"
#include "ui/resource_ids.h"

namespace {

constexpr UINT_PTR kInterruptTimer = 1;
constexpr UINT kInterruptPollMs = 100;
constexpr COLORREF kLinkColour = RGB(0, 102, 204);
constexpr COLORREF kVisitedLinkColour = RGB(128, 0, 128);

const wchar_t* Wide(const std::u16string& text) {
    return reinterpret_cast<const wchar_t*>(text.c_str());
}

bool IsEngineMessage(UINT message) {
    return message >= msg::kDownloadBegin && message <= msg::kCurrentFile;
}

// A font like the given one, with its height in tenths of a point for the screen.
HFONT PointFont(HWND window, const wchar_t* face, int tenthsOfPoint, BYTE charSet) {
    LOGFONTW font = {};
    const HDC screen = GetDC(window);
    font.lfHeight = -MulDiv(tenthsOfPoint, GetDeviceCaps(screen, LOGPIXELSY), 720);
    ReleaseDC(window, screen);
    font.lfCharSet = charSet;
    lstrcpynW(font.lfFaceName, face, LF_FACESIZE);
    return CreateFontIndirectW(&font);
}

int TextHeight(HWND control, HFONT font) {
    const HDC dc = GetDC(control);
    const HGDIOBJ before = SelectObject(dc, font);
    TEXTMETRICW metrics = {};
    GetTextMetricsW(dc, &metrics);
    SelectObject(dc, before);
    ReleaseDC(control, dc);
    return metrics.tmHeight;
}

}  // namespace

COrvUpdateDlg::COrvUpdateDlg(CUpdateManager& manager, platform::MessageTarget& window)
    : manager_(manager), window_(window) {}

COrvUpdateDlg::~COrvUpdateDlg() {
    // The worker may go on posting after the dialog ended: its messages are dropped.
    window_.SetWakeUp([&target = window_](const platform::Message&) {
        platform::Message dropped;
        while (target.TryTake(dropped)) {
        }
    });
    if (dialog_ != nullptr) {
        DestroyWindow(dialog_);
    }
    for (HGDIOBJ object : {static_cast<HGDIOBJ>(headlineFont_), static_cast<HGDIOBJ>(linkFont_),
                           static_cast<HGDIOBJ>(picture_)}) {
        if (object != nullptr) {
            DeleteObject(object);
        }
    }
}

FrontEnd::DialogEnd COrvUpdateDlg::Run() {
    dialog_ = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_ORVUPDATE_DIALOG),
                                 nullptr, DialogProc, reinterpret_cast<LPARAM>(this));
    if (dialog_ == nullptr) {
        return FrontEnd::DialogEnd::ClosedByUser;
    }
    MSG message;
    while (!ended_) {
        const BOOL got = GetMessageW(&message, nullptr, 0, 0);
        if (got == -1) {
            break;
        }
        if (got == 0) {
            // WM_QUIT. Only the worker's own, which is in the queue, ends the update; another
            // program that posts one must not end this one while it changes the installation.
            TakeMessages();
            if (model_.quit) {
                ended_ = true;
                end_ = FrontEnd::DialogEnd::WorkerQuit;
            }
            continue;
        }
        if (!IsDialogMessageW(dialog_, &message)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    DestroyWindow(dialog_);
    dialog_ = nullptr;
    return end_;
}

INT_PTR CALLBACK COrvUpdateDlg::DialogProc(HWND dialog, UINT message, WPARAM wParam,
                                           LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        auto* self = reinterpret_cast<COrvUpdateDlg*>(lParam);
        SetWindowLongPtrW(dialog, DWLP_USER, lParam);
        self->dialog_ = dialog;
        self->Initialise();
        return TRUE;
    }
    auto* self = reinterpret_cast<COrvUpdateDlg*>(GetWindowLongPtrW(dialog, DWLP_USER));
    return self != nullptr ? self->Handle(message, wParam, lParam) : FALSE;
}

INT_PTR COrvUpdateDlg::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    if (IsEngineMessage(message)) {
        // The message says that the worker posted; the queue holds it with its text, in order.
        TakeMessages();
        return TRUE;
    }
    switch (message) {
        case WM_SYSCOMMAND:
            if ((wParam & 0xFFF0) == IDM_ABOUTBOX) {
                CAboutDlg::Run(dialog_);
                return TRUE;
            }
            return FALSE;
        case WM_PAINT:
            return PaintMinimised() ? TRUE : FALSE;
        case WM_QUERYDRAGICON:
            return reinterpret_cast<INT_PTR>(icon_);
        case WM_COMMAND:
            switch (LOWORD(wParam)) {
                case IDOK:
                case IDCANCEL:
                    // Enter, Esc, the close button and Alt+F4 all close the dialog.
                    RequestClose();
                    return TRUE;
                case IDC_LINK:
                    if (HIWORD(wParam) == STN_CLICKED) {
                        OpenLink();
                        return TRUE;
                    }
                    return FALSE;
                default:
                    return FALSE;
            }
        case WM_TIMER:
            if (wParam == kInterruptTimer && platform::InterruptRequested()) {
                RequestClose();
            }
            return TRUE;
        case WM_CTLCOLORSTATIC:
            if (reinterpret_cast<HWND>(lParam) == link_) {
                const HDC dc = reinterpret_cast<HDC>(wParam);
                SetTextColor(dc, linkVisited_ ? kVisitedLinkColour : kLinkColour);
                SetBkMode(dc, TRANSPARENT);
                return reinterpret_cast<INT_PTR>(GetSysColorBrush(COLOR_BTNFACE));
            }
            return FALSE;
        case WM_SETCURSOR:
            if (reinterpret_cast<HWND>(wParam) == link_) {
                SetCursor(LoadCursorW(nullptr, IDC_HAND));
                SetWindowLongPtrW(dialog_, DWLP_MSGRESULT, TRUE);
                return TRUE;
            }
            return FALSE;
        default:
            return FALSE;
    }
}

void COrvUpdateDlg::Initialise() {
    const HINSTANCE instance = GetModuleHandleW(nullptr);

    // The About item; only when its text is there.
    if (const HMENU menu = GetSystemMenu(dialog_, FALSE)) {
        wchar_t about[128] = {};
        if (LoadStringW(instance, IDS_ABOUTBOX, about, static_cast<int>(std::size(about))) > 0) {
            AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
            AppendMenuW(menu, MF_STRING, IDM_ABOUTBOX, about);
        }
    }
    icon_ = LoadIconW(instance, MAKEINTRESOURCEW(IDR_MAINFRAME));
    SendMessageW(dialog_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_));

    // The window first, so that none of the worker's messages is lost.
    window_.SetWakeUp([dialog = dialog_](const platform::Message& posted) {
        PostMessageW(dialog, posted.id, posted.wParam, 0);
    });
    manager_.window = &window_;

    SetWindowTextW(dialog_, Wide(kDialogCaption));
    SetWindowPos(dialog_, HWND_TOPMOST, 0, 0, 475, 205, SWP_NOMOVE);

    picture_ = static_cast<HBITMAP>(LoadImageW(instance, MAKEINTRESOURCEW(IDB_PICTURE),
                                               IMAGE_BITMAP, 0, 0, LR_LOADMAP3DCOLORS));
    const HWND picture = GetDlgItem(dialog_, IDC_PICTURE);
    const LONG_PTR frame = GetWindowLongPtrW(picture, GWL_STYLE);
    SetWindowLongPtrW(picture, GWL_STYLE, (frame & ~SS_TYPEMASK) | SS_BITMAP | SS_CENTERIMAGE);
    SendMessageW(picture, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(picture_));
    Place(IDC_PICTURE, 410, 14, 40, 40, true);

    // The headline's face is the Chinese system's; asking for its character set makes Windows
    // take a face that has the characters where that one is missing.
    const HWND headline = GetDlgItem(dialog_, IDC_HEADLINE);
    SetWindowTextW(headline, Wide(HeadlineText(manager_.GetServerVersionText())));
    headlineFont_ = PointFont(dialog_, L"新宋体", 180, GB2312_CHARSET);
    SendMessageW(headline, WM_SETFONT, reinterpret_cast<WPARAM>(headlineFont_), TRUE);
    // An 18-point face may need more than the 20-pixel line: the line grows to its height.
    Place(IDC_HEADLINE, 24, 20, 500, std::max(20, TextHeight(headline, headlineFont_)), true);

    // The update notes are filled but stay hidden: no message shows them.
    SetDlgItemTextW(dialog_, IDC_NOTES_CAPTION, Wide(kNotesCaption));
    Place(IDC_NOTES_CAPTION, 70, 60, 500, 20, false);
    SetDlgItemTextW(dialog_, IDC_NOTES_BOX, Wide(manager_.GetServerNoticeText()));
    Place(IDC_NOTES_BOX, 71, 81, 498, 118, false);
    Place(IDC_NOTES_FRAME, 70, 70, 500, 130, false);

    Place(IDC_STAGE_LINE, 25, 55, 200, 20, true);
    Place(IDC_PROGRESS, 25, 78, 420, 20, true);
    Place(IDC_STATUS_LINE, 27, 105, 420, 20, true);
    ShowModel();

    SetDlgItemTextW(dialog_, IDC_HINT, Wide(kHintText));
    Place(IDC_HINT, 27, 140, 240, 20, true);

    homepage_ = manager_.GetHomepageText();
    link_ = GetDlgItem(dialog_, IDC_LINK);
    SetWindowTextW(link_, Wide(LinkText(homepage_)));
    LOGFONTW underlined = {};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(dialog_, WM_GETFONT, 0, 0)), sizeof(underlined),
               &underlined);
    underlined.lfUnderline = TRUE;
    linkFont_ = CreateFontIndirectW(&underlined);
    SendMessageW(link_, WM_SETFONT, reinterpret_cast<WPARAM>(linkFont_), FALSE);
    Place(IDC_LINK, 265, 140, 180, 19, true);
    tooltip_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP,
                               CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, dialog_,
                               nullptr, instance, nullptr);
    if (tooltip_ != nullptr) {
        TOOLINFOW tool = {};
        tool.cbSize = sizeof(tool);
        tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
        tool.hwnd = dialog_;
        tool.uId = reinterpret_cast<UINT_PTR>(link_);
        tool.lpszText = const_cast<wchar_t*>(Wide(kLinkTooltip));
        SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    }

    // Centred on the work area of its monitor, with its final size.
    MONITORINFO monitor = {};
    monitor.cbSize = sizeof(monitor);
    RECT outer;
    if (GetMonitorInfoW(MonitorFromWindow(dialog_, MONITOR_DEFAULTTOPRIMARY), &monitor) &&
        GetWindowRect(dialog_, &outer)) {
        const RECT& work = monitor.rcWork;
        SetWindowPos(dialog_, nullptr,
                     work.left + (work.right - work.left - (outer.right - outer.left)) / 2,
                     work.top + (work.bottom - work.top - (outer.bottom - outer.top)) / 2, 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }

    SetTimer(dialog_, kInterruptTimer, kInterruptPollMs, nullptr);
    manager_.Start();
}

void COrvUpdateDlg::Place(int id, int x, int y, int width, int height, bool shown) {
    SetWindowPos(GetDlgItem(dialog_, id), nullptr, x, y, width, height,
                 SWP_NOZORDER | SWP_NOACTIVATE | (shown ? SWP_SHOWWINDOW : SWP_HIDEWINDOW));
}

void COrvUpdateDlg::TakeMessages() {
    bool changed = false;
    platform::Message message;
    while (!model_.quit && window_.TryTake(message)) {
        changed = model_.Apply(message) || changed;
    }
    if (changed) {
        ShowModel();
    }
}

void COrvUpdateDlg::ShowModel() {
    if (model_.stageLine != shownStage_) {
        shownStage_ = model_.stageLine;
        SetDlgItemTextW(dialog_, IDC_STAGE_LINE, Wide(shownStage_));
    }
    if (model_.statusLine != shownStatus_) {
        shownStatus_ = model_.statusLine;
        SetDlgItemTextW(dialog_, IDC_STATUS_LINE, Wide(shownStatus_));
    }
    // The bar takes an int range: a 32-bit total beyond it is shown in coarser steps.
    unsigned shift = 0;
    while ((model_.rangeMax >> shift) > static_cast<std::uint32_t>(INT_MAX)) {
        ++shift;
    }
    const HWND bar = GetDlgItem(dialog_, IDC_PROGRESS);
    const auto range = static_cast<LPARAM>(model_.rangeMax >> shift);
    if (shift != barShift_ || SendMessageW(bar, PBM_GETRANGE, FALSE, 0) != range) {
        barShift_ = shift;
        SendMessageW(bar, PBM_SETRANGE32, 0, range);
    }
    SendMessageW(bar, PBM_SETPOS, std::min(model_.position, model_.rangeMax) >> shift, 0);
}

void COrvUpdateDlg::RequestClose() {
    // Decide on what the worker has reported so far, not on what was shown last.
    TakeMessages();
    if (ended_ || model_.quit || model_.MustWaitForWorker()) {
        // While the installation folder is being changed the dialog stays until WM_QUIT, so
        // that no file is left half-copied.
        return;
    }
    ended_ = true;
    end_ = FrontEnd::DialogEnd::ClosedByUser;
}

void COrvUpdateDlg::OpenLink() {
    const std::u16string address = BrowserAddress(homepage_);
    if (address.empty()) {
        return;
    }
    ShellExecuteW(nullptr, nullptr, Wide(address), nullptr, nullptr, SW_SHOWNORMAL);
    linkVisited_ = true;
    InvalidateRect(link_, nullptr, TRUE);
}

bool COrvUpdateDlg::PaintMinimised() {
    if (!IsIconic(dialog_)) {
        return false;
    }
    PAINTSTRUCT paint;
    const HDC dc = BeginPaint(dialog_, &paint);
    SendMessageW(dialog_, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    RECT client;
    GetClientRect(dialog_, &client);
    DrawIcon(dc, (client.right - GetSystemMetrics(SM_CXICON) + 1) / 2,
             (client.bottom - GetSystemMetrics(SM_CYICON) + 1) / 2, icon_);
    EndPaint(dialog_, &paint);
    return true;
}
