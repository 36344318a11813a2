#pragma once
// HTTP requests into memory (as text) or into a resumable, appended file.

#include <cstdint>
#include <memory>
#include <string>

#include "core/progress_ctrl.h"
#include "http/xcurl.h"
#include "platform/files.h"

// The growable byte store of a downloader; its storage survives between requests.
class CMemoryBuffer {
public:
    virtual ~CMemoryBuffer() = default;
    void Clear();

    std::unique_ptr<char[]> storage;  // capacity bytes
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
    // Called with the bytes of every write to the file, also of a short one.
    virtual void OnFileWritten(const char* data, std::size_t size);

    // GET into memory; the out text (up to the reply's first zero byte) is written only on
    // success. A reply of more than maxBytes fails as soon as it passes them.
    bool DownloadToString(const std::string& url, long timeout, std::string& out,
                          std::int32_t maxBytes = kMaxInt32Bytes);
    // The same for a binary reply: every byte of it.
    bool DownloadToBytes(const std::string& url, long timeout, std::string& out,
                         std::int32_t maxBytes = kMaxInt32Bytes);
    // Announces the file, opens it for appending and requests the resource from fileOffset on.
    // With a positive fileLimit, a byte that would carry the file past it ends the request
    // (see PassedLimit).
    bool DownloadToFile(const std::string& displayName, const std::string& url,
                        const std::string& localPath, long timeout);
    // Whether the last file request was ended because the resource is longer than fileLimit.
    bool PassedLimit() const { return passedLimit_; }
    // Tells the dialog which file is being fetched (the message carries its own copy of the
    // name, cut at 1023 UTF-16 units).
    void PostCurrentFile(const std::string& displayName);

    static constexpr std::int32_t kMaxInt32Bytes = 0x7FFFFFFF;

    CMemoryBuffer buffer;
    std::uint8_t mode = 0;  // 1: memory, 0: file
    std::int32_t fileOffset = 0;
    std::int32_t fileLimit = 0;  // the whole file's size in bytes; 0 or less: no limit
    platform::File file;

private:
    // The resume offset of the file request in progress.
    std::int32_t requestOffset_ = 0;
    // The largest reply that the memory request in progress takes.
    std::int32_t replyLimit_ = kMaxInt32Bytes;
    bool passedLimit_ = false;
};
