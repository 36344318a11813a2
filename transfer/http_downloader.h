#pragma once
// HTTP requests into memory (as text) or into a resumable, appended file.

#include <cstdint>
#include <string>
#include <vector>

#include "engine/progress_ctrl.h"
#include "platform/files.h"
#include "transfer/xcurl.h"

// The growable byte store of a downloader; its storage survives between requests.
class CMemoryBuffer {
public:
    virtual ~CMemoryBuffer() = default;
    void Clear();

    std::vector<char> storage;  // its length is the capacity
    std::int32_t size = 0;
    std::int32_t capacity = 0;
};

class HttpDownloader : public xcurl, public MessageSender {
public:
    // Adopts the update manager's window.
    HttpDownloader();
    ~HttpDownloader() override;

    void Reset() override;
    size_t OnWrite(const char* data, std::size_t size, std::size_t count) override;
    // Called after each chunk written to the file in full.
    virtual void OnFileData(int bytes);

    // GET into memory; the out text (up to the reply's first zero byte) is written only on
    // success.
    bool DownloadToString(const std::string& url, long timeout, std::string& out);
    // Announces the file, opens it for appending and requests the resource from fileOffset on.
    bool DownloadToFile(const std::string& displayName, const std::string& url,
                        const std::string& localPath, long timeout);
    // Tells the dialog which file is being fetched (the message carries its own copy of the
    // name, cut at 1023 UTF-16 units).
    void PostCurrentFile(const std::string& displayName);

    CMemoryBuffer buffer;
    std::uint8_t mode = 0;  // 1: memory, 0: file
    std::int32_t fileOffset = 0;
    platform::File file;

private:
    // The resume offset of the file request in progress.
    std::int32_t requestOffset_ = 0;
};
