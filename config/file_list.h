#pragma once
// The file list "filelist.update": one entry per file of an installation.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "config/json_loader.h"
#include "core/orv_object.h"

class FileInfoItem1 {
public:
    virtual ~FileInfoItem1() = default;

    std::string path;       // the member name: the path relative to the installation folder
    std::string md5;        // "md5"
    std::string sha256;     // "sha256": in signed releases, 64 lower-case hexadecimal digits
    std::int32_t size = 0;  // "size"
};

class FileInfoItem : public FileInfoItem1 {
public:
    std::string zxPath;       // "zxpath": the package, relative to the compressed base
    std::int32_t zxSize = 0;  // "zxsize"
};

// Entries by path (exact, case-sensitive); owns them. Walked in document order. An entry's path
// does not change once it is held.
class FileInfoItemHash {
public:
    virtual ~FileInfoItemHash() = default;

    void Clear();
    FileInfoItem* Find(std::string_view path) const;
    // Adds an entry; an entry of the same path is replaced.
    FileInfoItem& Insert(std::unique_ptr<FileInfoItem> item);
    // Adds a new entry of this path; nothing when the path is already held.
    FileInfoItem* Add(std::string_view path);
    const std::vector<std::unique_ptr<FileInfoItem>>& Entries() const { return items_; }
    std::size_t Count() const { return items_.size(); }

private:
    std::vector<std::unique_ptr<FileInfoItem>> items_;
    // Keyed by views of the entries' own paths: a path is held once.
    std::unordered_map<std::string_view, FileInfoItem*> byPath_;
};

class FileListLoader : public JsonLoader, public OrvObject, public FileInfoItemHash {
public:
    bool Parse(const std::string& text) override;
};

// The installed list.
class LocalFileList : public FileListLoader {
public:
    // Loads installFileListPath; false (and empty) when it is missing, a folder, empty or not
    // parsable; throws FileAccessError when it exists but cannot be read.
    bool Load();
};

// The server's list.
class ServerFileList : public FileListLoader {
public:
    // Fetches "filelist.update" from the download base (30 s) and parses it.
    bool Fetch();
    // Writes the reply byte for byte to downloadFileListPath (anything in the way is deleted
    // first); throws FileAccessError when it cannot be written.
    bool Save();
    // Whether every entry stays inside its folders: each path (and, with packages, each package
    // path) is a relative path without "." or ".." segments.
    bool IsContained(bool compressed) const;

    std::string replyText;
};
