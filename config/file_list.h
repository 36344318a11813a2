#pragma once
// The file list "filelist.update": one entry per file of an installation.

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "config/json_loader.h"
#include "core/orv_object.h"

// An entry's texts view storage of the list that holds it (the list's text, or copies the list
// keeps): an entry is valid as long as its list holds it.
class FileInfoItem1 {
public:
    std::string_view path;    // the member name: the path relative to the installation folder
    std::string_view md5;     // "md5"
    std::string_view sha256;  // "sha256": in signed releases, 64 lower-case hexadecimal digits
    std::int32_t size = 0;    // "size"
};

class FileInfoItem : public FileInfoItem1 {
public:
    std::string_view zxPath;  // "zxpath": the package, relative to the compressed base
    std::int32_t zxSize = 0;  // "zxsize"
};

// Entries by path (exact, case-sensitive), in document order. Entries stay where they are while
// others are added, so pointers to them hold until Clear. An entry's path does not change once
// it is held.
class FileInfoItemHash {
public:
    FileInfoItemHash() = default;
    FileInfoItemHash(const FileInfoItemHash&) = delete;
    FileInfoItemHash& operator=(const FileInfoItemHash&) = delete;
    virtual ~FileInfoItemHash() = default;

    void Clear();
    FileInfoItem* Find(std::string_view path) const;
    // Adds a new entry with a copy of this path; nothing when the path is already held.
    FileInfoItem* Add(std::string_view path);
    // A copy of text that lasts as long as the entries: for the texts of an entry.
    std::string_view Keep(std::string_view text);
    const std::deque<FileInfoItem>& Entries() const { return items_; }
    std::deque<FileInfoItem>& Entries() { return items_; }
    std::size_t Count() const { return items_.size(); }
    // Adds a new entry whose path views text that outlasts the entries.
    FileInfoItem* AddViewing(std::string_view path);

private:
    // The slot that holds path, or the empty slot where it would go.
    std::size_t SlotOf(std::string_view path, std::uint64_t hash) const;
    void Grow();

    std::deque<FileInfoItem> items_;
    // Open addressing, at most half full: 0 for an empty slot, else the upper half of the
    // path's hash, which places the slot, and the entry's index + 1; a probe rarely reads an
    // entry.
    std::vector<std::uint64_t> slots_;
    // Kept texts: fixed chunks, filled in turn.
    std::vector<std::unique_ptr<char[]>> chunks_;
    char* chunkNext_ = nullptr;
    std::size_t chunkFree_ = 0;
};

class FileListLoader : public JsonLoader, public OrvObject, public FileInfoItemHash {
public:
    // Both keep the text they read: the entries view it.
    bool Parse(const std::string& text) override;
    bool LoadFile(const std::string& path) override;

protected:
    // Parses text that stays, unchanged, as long as the entries are held.
    bool ParseKept(const std::string& text);

private:
    bool ParseOwnText();

    std::string text_;  // the text read by Parse or LoadFile, which the entries view
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

    // The reply as it came; the entries view it, so it does not change while they are held.
    std::string replyText;
};
