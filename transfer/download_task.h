#pragma once
// Fetches one update file into a work folder, resuming a partial copy.

#include <cstdint>
#include <memory>
#include <string>

#include "config/file_digest.h"
#include "core/task.h"
#include "http/http_downloader.h"

// The source name (OrvTaskData) is the relative path that is fetched.
class DownloadTask : public OrvTask, public HttpDownloader {
public:
    // Looks at the local file: a complete one marks the task done, a partial one is resumed;
    // either is counted in the progress.
    void Prepare() override;
    // One attempt: fetches the rest of the file.
    bool Execute() override;
    // Counts each chunk written, and digests it, so that a fetched file is not read back.
    void OnFileWritten(const char* data, std::size_t size) override;

    std::string LocalPath() const { return localFolder + source; }

    std::string localFolder;  // ends with "\"
    std::int32_t expectedSize = 0;
    std::int32_t foundSize = 0;
    std::string displayName;
    // Check the file against its entry (plain files; a package's digest is not listed, its
    // unpacked file is checked).
    bool verifyDigest = false;

private:
    // Whether the file is checked: asked for, and the entry has something to check it by.
    bool ChecksDigest() const;
    bool SignedRelease() const;
    // Makes the running check cover the file's first fileOffset bytes: the one carried from
    // the last attempt when it does, else one made afresh (reading back a kept part). False
    // when the part cannot be read; the file is then checked by reading it whole.
    bool StartDigest(const std::string& path);
    // Whether the fetched file matches its entry, by the running check when it covers the
    // whole file.
    bool FetchedFileMatches(const std::string& path);

    std::unique_ptr<EntryCheck> digest_;
    std::int32_t digestedBytes_ = 0;
};

// The relative path as it is asked for: letters, digits, "/", "_" and "." stay, "\" becomes "/",
// white space "%20", every other byte "%XX" in upper-case hexadecimal.
std::string EscapeRelativePath(const std::string& path);
