#pragma once
// UTF-16 texts of the engine as the toolkit's strings and back.

#include <string>

#include <wx/string.h>

// An unpaired surrogate becomes U+FFFD.
inline wxString ToWx(const std::u16string& text) {
    wxString out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        const bool high = c >= 0xD800 && c < 0xDC00;
        if (high && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c < 0xE000) {
            c = 0xFFFD;
        }
        out += wxUniChar(static_cast<wxUint32>(c));
    }
    return out;
}

inline std::u16string FromWx(const wxString& text) {
    std::u16string out;
    out.reserve(text.length());
    for (wxString::const_iterator it = text.begin(); it != text.end(); ++it) {
        const wxUint32 c = static_cast<wxUint32>((*it).GetValue());
        if (c >= 0x10000) {
            out += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
            out += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            out += static_cast<char16_t>(c);
        }
    }
    return out;
}
