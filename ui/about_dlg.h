#pragma once
// The About box: the program's icon, name and version, and a legal notice.

#include <wx/dialog.h>

class CAboutDlg : public wxDialog {
public:
    // A modal box over its owner (the update dialog); OK, Enter, Esc and the close button end
    // it. The update goes on behind it: the engine's messages are handled by its modal loop.
    explicit CAboutDlg(wxWindow* owner);
};

extern const char16_t kAboutCaption[];      // "关于 OrvUpdate"
extern const char16_t kAboutVersionText[];  // "OrvUpdate，1.0 版"
extern const char16_t kAboutLegalText[];
