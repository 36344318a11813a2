#include "config/file_dz.h"

#include <algorithm>

#include "config/path_store.h"
#include "config/reply_file.h"
#include "config/server_config.h"
#include "core/path_functions.h"

namespace {

// The ideographic comma in GBK: the notes are GBK text like the rest of the manifest.
constexpr char kGbkIdeographicComma[] = "\xA1\xA2";

}  // namespace

std::string FileDZ::NoticeText() const {
    std::string text;
    std::int32_t number = 1;
    for (const std::string& note : notices) {
        text += DecimalText(number++);
        text += kGbkIdeographicComma;
        text += note;
        text += "\r\n\r\n";
    }
    return text;
}

bool FileDZLoader::Parse(const std::string& text) {
    if (!JsonLoader::Parse(text)) {
        return false;
    }
    id = GetString("ID");
    version = GetString("version");
    const rapidjson::Value& notes = GetArray("notice");
    for (const rapidjson::Value& note : notes.GetArray()) {
        notices.push_back(JsonText(note));
    }
    return true;
}

bool LocalFileDZ::Load() {
    return paths != nullptr && LoadManifestFile(*this, paths->installNoticePath);
}

bool ServerFileDZ::Fetch() {
    return FetchReplyText(config, "fldz.update", kMaxServiceReplyBytes, replyText) &&
           Parse(replyText);
}

bool ServerFileDZ::Save() {
    WriteReplyFile(paths == nullptr ? std::string() : paths->downloadNoticePath, replyText);
    return true;
}

bool VersionSortsBefore(const std::string& a, const std::string& b) {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return static_cast<unsigned char>(x) < static_cast<unsigned char>(y);
    });
}
