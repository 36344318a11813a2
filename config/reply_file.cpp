#include "config/reply_file.h"

#include "config/json_loader.h"
#include "config/server_config.h"
#include "core/path_functions.h"
#include "http/http_downloader.h"
#include "platform/files.h"

void WriteReplyFile(const std::string& path, const std::string& bytes) {
    if (PathExistsA(path)) {
        // A folder of that name (left by anything) would keep the file from being written.
        DeletePath(ToWide(path), true);
    }
    platform::File file;
    if (!file.Open(path, platform::File::Mode::CreateTruncate)) {
        throw FileAccessError(path);
    }
    if (!bytes.empty() &&
        file.Write(bytes.data(), bytes.size()) != static_cast<long>(bytes.size())) {
        throw FileAccessError(path);
    }
    file.Close();
}

namespace {

constexpr long kManifestTimeoutSeconds = 30;

}  // namespace

bool FetchReplyText(ServerConfig* config, const char* name, std::int32_t maxBytes,
                    std::string& replyText) {
    replyText.clear();
    HttpDownloader downloader;
    return config != nullptr &&
           downloader.DownloadToString(MakeServerUrl(*config, name), kManifestTimeoutSeconds,
                                       replyText, maxBytes);
}

bool FetchReplyBytes(ServerConfig* config, const char* name, std::int32_t maxBytes,
                     std::string& reply) {
    reply.clear();
    HttpDownloader downloader;
    return config != nullptr &&
           downloader.DownloadToBytes(MakeServerUrl(*config, name), kManifestTimeoutSeconds, reply,
                                      maxBytes);
}

bool LoadManifestFile(JsonLoader& loader, const std::string& path) {
    if (!PathExistsA(path) || IsFolderA(path)) {
        return false;
    }
    return loader.LoadFile(path);
}
