#include "tools/release_paths.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <system_error>

#include "platform/text_codepage.h"

namespace release {

fs::path FromUtf8(const std::string& utf8) {
    return fs::u8path(utf8);
}

std::string ToUtf8(const fs::path& path) {
    return path.u8string();
}

std::string Printable(const std::string& text) {
    const bool validUtf8 = platform::Utf16ToUtf8(platform::Utf8ToUtf16(text)) == text;
    std::string shown;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F || (byte >= 0x80 && !validUtf8)) {
            char hex[5];
            std::snprintf(hex, sizeof(hex), "\\x%02X", byte);
            shown += hex;
        } else {
            shown += c;
        }
    }
    return "\"" + shown + "\"";
}

[[noreturn]] void Fail(const std::string& message) {
    throw ReleaseError(message);
}

bool HasControlCharacter(const std::string& text) {
    return std::any_of(text.begin(), text.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte < 0x20 || byte == 0x7F;
    });
}

void CreateParentFolders(const fs::path& path) {
    std::error_code error;
    fs::create_directories(path.parent_path(), error);
    if (error) {
        Fail(Printable(ToUtf8(path.parent_path())) + ": cannot be created: " + error.message());
    }
}

void WriteWholeFile(const fs::path& path, const std::string& bytes) {
    CreateParentFolders(path);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
        Fail(Printable(ToUtf8(path)) + ": cannot be written");
    }
}

}  // namespace release
