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
