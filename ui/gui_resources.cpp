#include "ui/gui_resources.h"

#include <wx/fontenum.h>

#include "ui/wx_text.h"

#include "ui/orv_icon.xpm"
#include "ui/orv_picture.xpm"

namespace {

// Faces with the Chinese characters that the dialogs show, best first: the Windows faces where
// they are installed, then the common free ones.
const std::initializer_list<const char16_t*> kChineseFaces = {
    u"宋体",
    u"SimSun",
    u"Microsoft YaHei",
    u"WenQuanYi Micro Hei",
    u"Noto Sans CJK SC",
    u"Source Han Sans SC",
    u"Droid Sans Fallback",
};

wxFont FontOf(int points, const wxString& face) {
    wxFontInfo info(points);
    if (!face.empty()) {
        info.FaceName(face);
    }
    return wxFont(info);
}

}  // namespace

wxString FirstInstalledFace(std::initializer_list<const char16_t*> faces) {
    for (const char16_t* face : faces) {
        const wxString name = ToWx(face);
        if (wxFontEnumerator::IsValidFacename(name)) {
            return name;
        }
    }
    return wxString();
}

wxIcon ProgramIcon() {
    return wxIcon(orv_icon_xpm);
}

wxBitmap PictureBitmap() {
    return wxBitmap(orv_picture_xpm);
}

wxFont DialogFont() {
    static const wxString face = FirstInstalledFace(kChineseFaces);
    return FontOf(9, face);
}

wxFont HeadlineFont() {
    static const wxString face = [] {
        const wxString own = FirstInstalledFace({u"新宋体", u"NSimSun"});
        return own.empty() ? FirstInstalledFace(kChineseFaces) : own;
    }();
    return FontOf(18, face);
}
