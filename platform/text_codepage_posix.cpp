// GBK through iconv.

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

}  // namespace

std::u16string AnsiToUtf16(std::string_view gbk) {
    std::u16string result;
    if (IsAscii(gbk)) {
        // iconv costs more than the check of a path's segments that most conversions serve.
        return std::u16string(gbk.begin(), gbk.end());
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

}  // namespace platform
