#pragma once
// Fetches one update file into a work folder, resuming a partial copy.

#include <cstdint>
#include <string>

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
    // Counts each chunk written.
    void OnFileData(int bytes) override;

    std::string LocalPath() const { return localFolder + source; }

    std::string localFolder;  // ends with "\"
    std::int32_t expectedSize = 0;
    std::int32_t foundSize = 0;
    std::string displayName;
    // Check the file against its entry's "md5" (plain files; a package's digest is not listed).
    bool verifyDigest = false;

private:
    // Whether the file is checked: asked for, and the entry's "md5" can be checked.
    bool ChecksDigest() const;
};

// The relative path as it is asked for: letters, digits, "/", "_" and "." stay, "\" becomes "/",
// white space "%20", every other byte "%XX" in upper-case hexadecimal.
std::string EscapeRelativePath(const std::string& path);
