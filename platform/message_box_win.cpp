// The system's own message box: no owner window, in front of every other window.

#include <windows.h>

#include "platform/message_box_system.h"

namespace platform {

bool PresentSystemBox(const std::u16string& caption, const std::u16string& text, bool okCancel) {
    const UINT style = MB_TOPMOST | MB_SETFOREGROUND |
                       (okCancel ? MB_OKCANCEL | MB_ICONQUESTION : MB_OK | MB_ICONINFORMATION);
    return MessageBoxW(nullptr, reinterpret_cast<const wchar_t*>(text.c_str()),
                       reinterpret_cast<const wchar_t*>(caption.c_str()), style) == IDOK;
}

}  // namespace platform
