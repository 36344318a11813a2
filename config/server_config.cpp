#include "config/server_config.h"

#include <optional>

#include "config/reply_file.h"
#include "core/build_config.h"
#include "http/http_downloader.h"
#include "http/xcurl.h"
#include "platform/environment.h"

namespace {

constexpr long kServiceAddressTimeoutSeconds = 20;

}  // namespace

bool ServerConfig::Parse(const std::string& text) {
    if (!JsonLoader::Parse(text)) {
        return false;
    }
    docUrl = GetString("docurl");
    downUrl = GetString("downurl");
    downZxUrl = GetString("downzxurl");
    homepage = GetString("homepage");
    downTime = GetNumber("downtime");
    downRetry = GetNumber("downretry");
    return true;
}

bool ServerConfig::Fetch() {
    replyText.clear();
    {
        HttpDownloader downloader;
        if (!downloader.DownloadToString(ServiceAddressUrl(), kServiceAddressTimeoutSeconds,
                                         replyText, kMaxServiceReplyBytes)) {
            return false;
        }
    }
    if (!Parse(replyText)) {
        return false;
    }
    // Every later request goes to these bases: a base of another scheme makes the reply unusable.
    for (const std::string* base : {&downUrl, &downZxUrl}) {
        if (!base->empty() && !IsWebAddress(*base)) {
            return false;
        }
    }
    if (!downZxUrl.empty()) {
        compressed = true;
        return true;
    }
    if (!downUrl.empty()) {
        compressed = false;
        return true;
    }
    return false;
}

std::string ServerConfig::GetDownloadBase() {
    return compressed ? downZxUrl : downUrl;
}

std::string MakeServerUrl(CServer& server, const std::string& path) {
    return server.GetDownloadBase() + path;
}

std::string ServiceAddressUrl() {
    // Staging servers and tests name their own host; an empty value would name no host at all.
    const std::optional<std::string> configured =
        platform::GetEnvironment("ORVUPDATE_SERVICE_HOST");
    const std::string host =
        configured && !configured->empty() ? *configured : std::string(ORVUPDATE_SERVICE_HOST);
    return "http://" + host + "/serviceAddress/geturl_windows.php";
}
