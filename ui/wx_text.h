#pragma once
// UTF-16 texts of the engine as the toolkit's strings and back, through UTF-8 with the
// platform's conversion, so that an unpaired surrogate becomes U+FFFD here as everywhere else.

#include <string>

#include <wx/string.h>

#include "platform/text_codepage.h"

inline wxString ToWx(const std::u16string& text) {
    return wxString::FromUTF8(platform::Utf16ToUtf8(text));
}

inline std::u16string FromWx(const wxString& text) {
    return platform::Utf8ToUtf16(text.utf8_string());
}
