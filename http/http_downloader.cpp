#include "http/http_downloader.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "core/manager_context.h"
#include "core/messages.h"
#include "core/path_functions.h"
#include "platform/text_codepage.h"

namespace {

constexpr std::size_t kMaxNameUnits = 1023;
constexpr std::int32_t kMaxInt32 = std::numeric_limits<std::int32_t>::max();

}  // namespace

void CMemoryBuffer::Clear() {
    storage.reset();
    size = 0;
    capacity = 0;
}

HttpDownloader::HttpDownloader() {
    window = UpdateManagerContext().window;
}

HttpDownloader::~HttpDownloader() {
    file.Close();
    buffer.Clear();
}

void HttpDownloader::Reset() {
    buffer.size = 0;
    xcurl::Reset();
}

std::size_t HttpDownloader::OnWrite(const char* data, std::size_t size, std::size_t count) {
    const std::size_t n = size * count;
    if (mode == 1) {
        if (data == nullptr || n == 0) {
            return n;
        }
        // A reply beyond its limit (at most the buffer's signed 32-bit count) is not taken:
        // the server decides how much it sends, not how much memory this program spends.
        if (n > static_cast<std::size_t>(replyLimit_ - buffer.size)) {
            return 0;
        }
        const std::int32_t needed = buffer.size + static_cast<std::int32_t>(n);
        if (needed > buffer.capacity) {
            // Room for the whole reply at once where it announces its length, else doubled, so
            // that a long reply is copied about once in all; never past the limit.
            const std::int32_t grown = static_cast<std::int32_t>(std::min<std::int64_t>(
                std::max({std::int64_t{needed}, std::int64_t{buffer.capacity} * 2,
                          std::int64_t{CurrentContentLength()}}),
                replyLimit_));
            std::unique_ptr<char[]> storage(new char[static_cast<std::size_t>(grown)]);
            if (buffer.size > 0) {
                std::memcpy(storage.get(), buffer.storage.get(), buffer.size);
            }
            buffer.storage = std::move(storage);
            buffer.capacity = grown;
        }
        std::memcpy(buffer.storage.get() + buffer.size, data, n);
        buffer.size = needed;
        return n;
    }

    if (n == 0) {
        return 0;
    }
    const long status = CurrentStatus();
    // The body of an error reply is not part of the file, and a whole resource sent in answer
    // to a resumed request would land after the bytes already there.
    if (status < 200 || status > 299 || (requestOffset_ != 0 && status == 200)) {
        return 0;
    }
    // The offset is a signed 32-bit count: a chunk that would carry it past its end is refused.
    if (n > static_cast<std::size_t>(kMaxInt32 - fileOffset)) {
        return 0;
    }
    // A file longer than its entry says is not the file the list describes; nothing of it past
    // the stated size is kept.
    if (fileLimit > 0 &&
        n > static_cast<std::size_t>(fileLimit - std::min(fileOffset, fileLimit))) {
        passedLimit_ = true;
        return 0;
    }
    const long written = file.Write(data, n);
    if (written < 0) {
        return 0;
    }
    OnFileWritten(data, static_cast<std::size_t>(written));
    if (static_cast<std::size_t>(written) < n) {
        fileOffset += static_cast<std::int32_t>(written);
        return 0;
    }
    fileOffset += static_cast<std::int32_t>(n);
    return n;
}

void HttpDownloader::OnFileWritten(const char*, std::size_t) {}

bool HttpDownloader::DownloadToBytes(const std::string& url, long timeout, std::string& out,
                                     std::int32_t maxBytes) {
    mode = 1;
    replyLimit_ = std::clamp(maxBytes, 0, kMaxInt32);
    const bool ok = Perform(url.c_str(), 0, timeout);
    replyLimit_ = kMaxInt32;
    if (!ok) {
        return false;
    }
    if (buffer.size == 0) {
        out.clear();  // an empty reply may leave no storage at all
    } else {
        out.assign(buffer.storage.get(), buffer.size);
    }
    return true;
}

bool HttpDownloader::DownloadToString(const std::string& url, long timeout, std::string& out,
                                      std::int32_t maxBytes) {
    std::string bytes;
    if (!DownloadToBytes(url, timeout, bytes, maxBytes)) {
        return false;
    }
    bytes.resize(std::min(bytes.find('\0'), bytes.size()));
    out = std::move(bytes);
    return true;
}

bool HttpDownloader::DownloadToFile(const std::string& displayName, const std::string& url,
                                    const std::string& localPath, long timeout) {
    PostCurrentFile(displayName);
    mode = 0;
    if (!file.IsOpen() && !file.Open(localPath, platform::File::Mode::AppendOrCreate)) {
        return false;
    }
    requestOffset_ = fileOffset;
    passedLimit_ = false;
    const bool ok = Perform(url.c_str(), requestOffset_, timeout);
    const long status = LastStatus();
    if (!ok && requestOffset_ != 0 && (status == 200 || status == 416)) {
        // The server will not resume this file (no range support, or the copy here is longer
        // than its resource): start it again from byte 0 on the next attempt instead of asking
        // for the same refused range every time.
        if (file.Truncate()) {
            fileOffset = 0;
        }
    }
    requestOffset_ = 0;
    file.Close();
    return ok;
}

void HttpDownloader::PostCurrentFile(const std::string& displayName) {
    std::u16string name = ToWide(displayName);
    if (name.size() > kMaxNameUnits) {
        name.resize(kMaxNameUnits);
        // Half a character is not shown.
        if (platform::IsHighSurrogate(name.back())) {
            name.pop_back();
        }
    }
    PostToWindow(msg::kCurrentFile, 0, 0, std::move(name));
}
