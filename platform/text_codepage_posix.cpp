// GBK through iconv; UTF-8 by hand so that invalid input turns into U+FFFD instead of an error.

#include <iconv.h>

#include <cerrno>
#include <cstring>

#include "platform/text_codepage.h"

namespace platform {
namespace {

#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
constexpr const char* kUtf16 = "UTF-16BE";
#else
constexpr const char* kUtf16 = "UTF-16LE";
#endif
constexpr const char* kGbk = "GBK";
constexpr char16_t kReplacement = 0xFFFD;

// One conversion direction, opened once per thread (iconv descriptors carry state and must not
// be shared between threads).
class Converter {
public:
    Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
    ~Converter() {
        if (cd_ != reinterpret_cast<iconv_t>(-1)) {
            iconv_close(cd_);
        }
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    bool valid() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

    // Converts as much as it can into out; returns false with errno set where it stops early.
    // in and inLeft are advanced past what was converted.
    bool Step(const char*& in, std::size_t& inLeft, std::string& out) {
        char buffer[4096];
        while (inLeft > 0) {
            char* outPtr = buffer;
            std::size_t outLeft = sizeof(buffer);
            char* inPtr = const_cast<char*>(in);
            const std::size_t result = iconv(cd_, &inPtr, &inLeft, &outPtr, &outLeft);
            const int error = errno;
            in = inPtr;
            out.append(buffer, outPtr);
            if (result == static_cast<std::size_t>(-1) && error != E2BIG) {
                errno = error;
                return false;
            }
        }
        return true;
    }

    void Reset() { iconv(cd_, nullptr, nullptr, nullptr, nullptr); }

private:
    iconv_t cd_;
};

Converter& GbkToUtf16() {
    thread_local Converter converter(kUtf16, kGbk);
    return converter;
}

Converter& Utf16ToGbk() {
    thread_local Converter converter(kGbk, kUtf16);
    return converter;
}

bool IsHighSurrogate(char16_t unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}
bool IsLowSurrogate(char16_t unit) {
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

}  // namespace

std::u16string AnsiToUtf16(std::string_view gbk) {
    std::u16string result;
    if (gbk.empty()) {
        return result;
    }
    Converter& converter = GbkToUtf16();
    if (!converter.valid()) {
        return result;
    }
    converter.Reset();
    std::string bytes;
    bytes.reserve(gbk.size() * 2);
    const char* in = gbk.data();
    std::size_t inLeft = gbk.size();
    while (!converter.Step(in, inLeft, bytes)) {
        // An invalid byte, or a lead byte cut off at the end: one "?" for that byte, then go on
        // with the next one (it may start a valid character of its own).
        const char16_t question = u'?';
        bytes.append(reinterpret_cast<const char*>(&question), sizeof(question));
        ++in;
        --inLeft;
        converter.Reset();
    }
    result.resize(bytes.size() / sizeof(char16_t));
    std::memcpy(result.data(), bytes.data(), result.size() * sizeof(char16_t));
    return result;
}

std::string Utf16ToAnsi(std::u16string_view text) {
    std::string result;
    if (text.empty()) {
        return result;
    }
    Converter& converter = Utf16ToGbk();
    if (!converter.valid()) {
        return result;
    }
    converter.Reset();
    const char* in = reinterpret_cast<const char*>(text.data());
    std::size_t inLeft = text.size() * sizeof(char16_t);
    const char* const end = in + inLeft;
    while (!converter.Step(in, inLeft, result)) {
        // A character GBK lacks (or a lone surrogate) becomes one "?"; a surrogate pair is one
        // character.
        std::size_t skip = sizeof(char16_t);
        char16_t first;
        std::memcpy(&first, in, sizeof(first));
        if (IsHighSurrogate(first) && inLeft >= 2 * sizeof(char16_t)) {
            char16_t second;
            std::memcpy(&second, in + sizeof(char16_t), sizeof(second));
            if (IsLowSurrogate(second)) {
                skip = 2 * sizeof(char16_t);
            }
        }
        if (skip > inLeft) {
            skip = inLeft;
        }
        result.push_back('?');
        in += skip;
        inLeft = static_cast<std::size_t>(end - in);
        converter.Reset();
    }
    return result;
}

std::string Utf16ToUtf8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size() * 3);
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t code = text[i];
        if (IsHighSurrogate(text[i]) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
            code = 0x10000 + ((code - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (IsHighSurrogate(text[i]) || IsLowSurrogate(text[i])) {
            code = kReplacement;
        }
        if (code < 0x80) {
            out.push_back(static_cast<char>(code));
        } else if (code < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (code >> 6)));
            out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
        } else if (code < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (code >> 12)));
            out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (code >> 18)));
            out.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
        }
    }
    return out;
}

std::u16string Utf8ToUtf16(std::string_view utf8) {
    std::u16string out;
    out.reserve(utf8.size());
    std::size_t i = 0;
    while (i < utf8.size()) {
        const unsigned char lead = static_cast<unsigned char>(utf8[i]);
        if (lead < 0x80) {
            out.push_back(lead);
            ++i;
            continue;
        }
        std::size_t length = 0;
        char32_t code = 0;
        char32_t minimum = 0;
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
            code = lead & 0x1F;
            minimum = 0x80;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            code = lead & 0x0F;
            minimum = 0x800;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            code = lead & 0x07;
            minimum = 0x10000;
        }
        // A bad sequence yields one U+FFFD and resumes at the first byte that cannot belong to it.
        std::size_t used = 1;
        bool valid = length != 0;
        for (; valid && used < length; ++used) {
            if (i + used >= utf8.size()) {
                valid = false;
                break;
            }
            const unsigned char next = static_cast<unsigned char>(utf8[i + used]);
            if ((next & 0xC0) != 0x80) {
                valid = false;
                break;
            }
            code = (code << 6) | (next & 0x3F);
        }
        if (valid && (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))) {
            valid = false;
        }
        if (!valid) {
            out.push_back(kReplacement);
            i += used;
            continue;
        }
        if (code >= 0x10000) {
            code -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (code >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (code & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(code));
        }
        i += length;
    }
    return out;
}

std::string AnsiToUtf8(std::string_view gbk) {
    return Utf16ToUtf8(AnsiToUtf16(gbk));
}

std::string Utf8ToAnsi(std::string_view utf8) {
    return Utf16ToAnsi(Utf8ToUtf16(utf8));
}

}  // namespace platform
