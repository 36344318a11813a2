#include "ui/dialog_model.h"

#include <string>

#include "core/messages.h"

const char16_t kDialogCaption[] = u"Orvel浏览器更新程序";
const char16_t kHintText[] = u"如果更新过慢，您也可访问官网下载最新版：";
const char16_t kLinkTooltip[] = u"点击前往Orvel官网";
const char16_t kNotesCaption[] = u"更新说明：";

namespace {

const char16_t kDownloading[] = u"正在下载更新文件，进度：";

std::u16string Ascii(const std::string& text) {
    return std::u16string(text.begin(), text.end());
}

}  // namespace

std::u16string PercentText(std::uint32_t permille) {
    return Ascii(std::to_string(permille / 10)) + u'.' + Ascii(std::to_string(permille % 10));
}

std::u16string HeadlineText(const std::u16string& version) {
    return u"Orvel浏览器" + version + u"更新已发布！";
}

std::u16string LinkText(const std::u16string& homepage) {
    return u" " + homepage + u" ";
}

namespace {

bool StartsWithNoCase(const std::u16string& text, const char* prefix) {
    std::size_t i = 0;
    for (; prefix[i] != '\0'; ++i) {
        const char16_t c = i < text.size() ? text[i] : u'\0';
        const char16_t lower = c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c;
        if (lower != static_cast<char16_t>(prefix[i])) {
            return false;
        }
    }
    return true;
}

// A letter or digit of a host name; beyond ASCII, the letters of an international name.
bool IsHostLetter(char16_t c) {
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') ||
           c >= 0xA0;
}

}  // namespace

std::u16string BrowserAddress(const std::u16string& homepage) {
    for (const char16_t c : homepage) {
        if (c <= 0x20 || (c >= 0x7F && c < 0xA0) || c == u'\\') {
            return {};
        }
    }
    if (StartsWithNoCase(homepage, "http://") || StartsWithNoCase(homepage, "https://")) {
        return homepage;
    }
    // Without a scheme only a host name, optionally with a path: "name:" would be a scheme.
    const std::u16string host = homepage.substr(0, homepage.find(u'/'));
    if (host.empty() || !IsHostLetter(host[0])) {
        return {};
    }
    for (const char16_t c : host) {
        if (!(IsHostLetter(c) || c == u'.' || c == u'-')) {
            return {};
        }
    }
    return u"http://" + homepage;
}

bool DialogModel::Apply(const platform::Message& message) {
    // wParam is taken as a 32-bit value, as the progress bar's 32-bit range takes it.
    const auto value = static_cast<std::uint32_t>(message.wParam);
    switch (message.id) {
        case msg::kDownloadBegin:
            stage = Stage::Downloading;
            rangeMax = value;
            position = 0;
            permille = 0;
            stageLine = std::u16string(kDownloading) + u"0%";
            return true;
        case msg::kDownloadPosition:
        case msg::kDownloadComplete:
            position = value;
            return true;
        case msg::kDownloadPermille:
            permille = value;
            stageLine = kDownloading + PercentText(value) + u"%";
            return true;
        case msg::kUncompressStage:
            stage = Stage::Uncompressing;
            stageLine = u"下载完成，正在解压更新文件...";
            return true;
        case msg::kLocalsetStage:
            stage = Stage::Localset;
            stageLine = u"解压完成，正在更新本地文件...";
            return true;
        case msg::kFinishStage:
            stage = Stage::Finishing;
            stageLine = u"更新完成，正在启动浏览器...";
            return true;
        case msg::kCurrentFile:
            statusLine = message.text;
            return true;
        case msg::kQuit:
            quit = true;
            return false;
        default:
            // WM_USER+106 and WM_USER+108 are not posted and change nothing.
            return false;
    }
}
