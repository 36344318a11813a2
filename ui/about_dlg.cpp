#include "ui/about_dlg.h"

#include <wx/button.h>
#include <wx/image.h>
#include <wx/statbmp.h>
#include <wx/stattext.h>

#include "ui/gui_resources.h"
#include "ui/wx_text.h"

const char16_t kAboutCaption[] = u"关于 OrvUpdate";
const char16_t kAboutVersionText[] = u"OrvUpdate，1.0 版";
const char16_t kAboutLegalText[] = u"版权所有 (C) 2026 Orvel";

namespace {

// The box is laid out in dialog units of its font, as a resource template is.
wxRect Units(const wxWindow* window, int x, int y, int width, int height) {
    const wxPoint origin = window->ConvertDialogToPixels(wxPoint(x, y));
    const wxSize size = window->ConvertDialogToPixels(wxSize(width, height));
    return wxRect(origin, size);
}

}  // namespace

CAboutDlg::CAboutDlg(wxWindow* owner)
    : wxDialog(owner, wxID_ANY, ToWx(kAboutCaption), wxDefaultPosition, wxDefaultSize,
               wxCAPTION | wxSYSTEM_MENU | wxCLOSE_BOX | wxSTAY_ON_TOP) {
    SetFont(DialogFont());
    SetClientSize(Units(this, 0, 0, 170, 62).GetSize());

    // The icon at the size of a dialog's icon control (the template's 21 x 20 units).
    const wxRect iconArea = Units(this, 14, 14, 21, 20);
    const int side = std::min(iconArea.width, iconArea.height);
    wxImage image = ProgramIcon().ConvertToImage();
    image.Rescale(side, side, wxIMAGE_QUALITY_HIGH);
    new wxStaticBitmap(this, wxID_ANY, wxBitmap(image), iconArea.GetPosition(), wxSize(side, side));

    // Labels take their texts literally: "&" is no mnemonic here.
    auto* version =
        new wxStaticText(this, wxID_ANY, wxString(), Units(this, 42, 14, 114, 8).GetPosition(),
                         Units(this, 42, 14, 114, 8).GetSize(), wxST_NO_AUTORESIZE);
    version->SetLabelText(ToWx(kAboutVersionText));
    auto* legal =
        new wxStaticText(this, wxID_ANY, wxString(), Units(this, 42, 26, 114, 8).GetPosition(),
                         Units(this, 42, 26, 114, 8).GetSize(), wxST_NO_AUTORESIZE);
    legal->SetLabelText(ToWx(kAboutLegalText));

    const wxRect okArea = Units(this, 113, 41, 50, 14);
    auto* ok = new wxButton(this, wxID_OK, ToWx(u"确定"), okArea.GetPosition(), okArea.GetSize());
    ok->SetDefault();
    ok->SetFocus();
    SetAffirmativeId(wxID_OK);
    // Esc ends the box like its OK button: the box has no Cancel button.
    SetEscapeId(wxID_OK);

    CentreOnParent();
}
