#include "transfer/download_task.h"

#include <limits>
#include <optional>

#include "config/file_digest.h"
#include "config/file_list.h"
#include "config/server_config.h"
#include "core/path_functions.h"
#include "core/progress_ctrl.h"
#include "platform/files.h"

namespace {

// The whole size of a file, or nothing when it cannot be read.
std::optional<std::uint64_t> WholeSize(const std::string& path) {
    platform::File file;
    if (!file.Open(path, platform::File::Mode::Read)) {
        return std::nullopt;
    }
    return file.Size();
}

char HexDigit(unsigned value) {
    return "0123456789ABCDEF"[value & 0x0F];
}

}  // namespace

std::string EscapeRelativePath(const std::string& path) {
    std::string escaped;
    escaped.reserve(path.size() * 3);
    for (const char c : path) {
        const unsigned char byte = static_cast<unsigned char>(c);
        // The "C" locale's classes, spelled out so that no locale setting can change them.
        const bool letterOrDigit = (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') ||
                                   (byte >= '0' && byte <= '9');
        if (letterOrDigit || byte == '/' || byte == '_' || byte == '.') {
            escaped += c;
        } else if (byte == '\\') {
            escaped += '/';
        } else if (byte == ' ' || (byte >= '\t' && byte <= '\r')) {
            escaped += "%20";
        } else {
            escaped += '%';
            escaped += HexDigit(byte >> 4);
            escaped += HexDigit(byte);
        }
    }
    return escaped;
}

bool DownloadTask::SignedRelease() const {
    return config != nullptr && config->signedRelease;
}

bool DownloadTask::ChecksDigest() const {
    return verifyDigest && entry != nullptr && EntryCheck::Checks(*entry, SignedRelease());
}

void DownloadTask::Prepare() {
    // Deletions below must stay inside the work folder.
    if (!IsContainedRelativePath(source)) {
        return;
    }
    const std::string path = LocalPath();
    if (!PathExistsA(path)) {
        return;
    }
    if (IsFolderA(path)) {
        DeletePath(ToWide(path), true);
        return;
    }
    const std::optional<std::uint64_t> size = WholeSize(path);
    // Offsets are signed 32-bit: a file beyond them cannot be resumed and is fetched again.
    if (!size || *size > static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max())) {
        DiscardFile(path);
        return;
    }
    foundSize = static_cast<std::int32_t>(*size);
    // Longer than the entry says: not a part of this file, and never resumable.
    if (expectedSize > 0 && foundSize > expectedSize) {
        DiscardFile(path);
        foundSize = 0;
        return;
    }

    if (foundSize == expectedSize) {
        if (ChecksDigest() && !FileMatchesEntry(path, *entry, SignedRelease())) {
            // Complete in size but not in content: fetched again from the start.
            DiscardFile(path);
            fileOffset = 0;
            return;
        }
        SetDone();
        progress->AdvanceProgress(static_cast<std::uint32_t>(expectedSize));
        return;
    }
    fileOffset = foundSize;
    progress->AdvanceProgress(static_cast<std::uint32_t>(foundSize));
}

bool DownloadTask::Execute() {
    if (!IsContainedRelativePath(source)) {
        return false;
    }
    const std::string path = LocalPath();
    CreateParentFolders(path);
    const std::string url = MakeServerUrl(*config, EscapeRelativePath(source));
    const long timeout = config->downTime;
    fileLimit = expectedSize;
    if (ChecksDigest() && !StartDigest(path)) {
        digest_.reset();
    }
    const bool received = DownloadToFile(displayName, url, path, timeout);
    if (PassedLimit()) {
        // Never kept for resuming: the next attempt fetches the file whole.
        DiscardFile(path);
        fileOffset = 0;
        return false;
    }
    // A transfer that ends short is incomplete whatever the digest can tell; the next attempt
    // resumes it.
    if (!received || (expectedSize > 0 && fileOffset != expectedSize)) {
        return false;
    }
    if (ChecksDigest() && !FetchedFileMatches(path)) {
        // A corrupt file is not handed on; the next attempt fetches it whole.
        DiscardFile(path);
        fileOffset = 0;
        return false;
    }
    return true;
}

bool DownloadTask::StartDigest(const std::string& path) {
    if (digest_ != nullptr && digestedBytes_ == fileOffset) {
        return true;
    }
    digest_ = std::make_unique<EntryCheck>(*entry, SignedRelease());
    digestedBytes_ = 0;
    // A file fetched from its start has nothing to read yet, and may not exist yet.
    if (fileOffset > 0 && !digest_->UpdateFromFile(path, static_cast<std::uint64_t>(fileOffset))) {
        return false;
    }
    digestedBytes_ = fileOffset;
    return true;
}

void DownloadTask::OnFileWritten(const char* data, std::size_t size) {
    if (size == 0) {
        return;
    }
    progress->AdvanceProgress(static_cast<std::uint32_t>(size));
    if (digest_ != nullptr) {
        digest_->Update(data, size);
        digestedBytes_ += static_cast<std::int32_t>(size);
    }
}

bool DownloadTask::FetchedFileMatches(const std::string& path) {
    const std::unique_ptr<EntryCheck> digest = std::move(digest_);
    if (digest != nullptr && digestedBytes_ == fileOffset) {
        return digest->Matches();
    }
    return FileMatchesEntry(path, *entry, SignedRelease());
}
