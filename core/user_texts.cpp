#include "core/user_texts.h"

#include "core/build_config.h"
#include "platform/text_codepage.h"

namespace texts {

const char16_t kCaptionUpdater[] = u"Orvel浏览器更新程序";
const char16_t kCaptionStartupFailed[] = u"Orvel浏览器：启动更新失败";
const char16_t kCaptionUpdateFailed[] = u"Orvel浏览器：更新失败";

const char16_t kAlreadyRunning[] = u"更新程序已经在运行中，请勿再次启动！";
const char16_t kCloseBrowserQuestion[] =
    u"请先关闭Orvel浏览器，再点击“确定”重试，或点击“取消”退出更新！";

namespace {

std::u16string WithContacts(const char16_t* head, const char16_t* orSite) {
    return head + platform::Utf8ToUtf16(ORVUPDATE_SERVICE_QQ) + orSite +
           platform::Utf8ToUtf16(ORVUPDATE_OFFICIAL_SITE) + u"下载安装最新版本！";
}

}  // namespace

std::u16string StartupFailed() {
    return WithContacts(u"获取更新配置信息失败！请联系客服QQ：", u"，或者到官网");
}
std::u16string ServerListFailed() {
    return WithContacts(u"无法从服务器获得更新配置！请联系客服QQ：", u"，或者到官网");
}
std::u16string DownloadFailed() {
    return WithContacts(u"下载更新文件失败！请联系客服QQ：", u"，或者到官网");
}
std::u16string UncompressFailed() {
    return WithContacts(u"解压更新文件失败！请重试！或联系客服QQ：", u"，或到官网");
}
std::u16string LocalsetFailed() {
    return WithContacts(u"更新本地文件失败！请联系客服QQ：", u"，或者到官网");
}

}  // namespace texts
