#pragma once
// The server configuration: where the update files are, fetched from the service-address
// endpoint at start-up.

#include <cstdint>
#include <string>

#include "config/json_loader.h"

class XConfig {
public:
    virtual ~XConfig() = default;

    std::string docUrl;     // "docurl": stored only
    std::string downUrl;    // "downurl": base of the plain files and manifests
    std::string downZxUrl;  // "downzxurl": base of the packages and manifests; "" = none offered
    std::string homepage;   // "homepage"
    std::int32_t downTime = 30;   // "downtime": seconds per file download; 0 = no limit
    std::int32_t downRetry = 50;  // "downretry": attempts of the download stage
};

// The base address to which relative paths of update files and manifest names are appended.
class CServer {
public:
    virtual ~CServer() = default;
    virtual std::string GetDownloadBase() = 0;
};

class ServerConfig : public XConfig, public JsonLoader, public CServer {
public:
    // Reads the six keys after the JSON reading; a missing or mistyped key gives "" or 0.
    bool Parse(const std::string& text) override;
    // Asks the service-address endpoint (20 s); true when the reply holds a download base.
    bool Fetch();
    // downZxUrl when compressed, downUrl otherwise.
    std::string GetDownloadBase() override;

    bool compressed = false;
    // Set once the release's signature has been verified: every file must then match its
    // entry's "sha256" before it is installed.
    bool signedRelease = false;
    std::string replyText;
};

// The download base followed directly by a relative path or file name.
std::string MakeServerUrl(CServer& server, const std::string& path);

// The service-address endpoint: the built-in host, or ORVUPDATE_SERVICE_HOST (host or host:port)
// when it is set, with the path "/serviceAddress/geturl_windows.php".
std::string ServiceAddressUrl();
