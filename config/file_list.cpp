#include "config/file_list.h"

#include <algorithm>
#include <string_view>
#include <unordered_set>

#include <rapidjson/memorystream.h>
#include <rapidjson/reader.h>

#include "config/path_store.h"
#include "config/reply_file.h"
#include "config/server_config.h"
#include "core/path_functions.h"

void FileInfoItemHash::Clear() {
    byPath_.clear();
    items_.clear();
}

FileInfoItem* FileInfoItemHash::Find(std::string_view path) const {
    const auto found = byPath_.find(path);
    return found == byPath_.end() ? nullptr : found->second;
}

FileInfoItem& FileInfoItemHash::Insert(std::unique_ptr<FileInfoItem> item) {
    FileInfoItem* added = item.get();
    const auto found = byPath_.find(item->path);
    if (found == byPath_.end()) {
        items_.push_back(std::move(item));
        byPath_.emplace(added->path, added);
        return *added;
    }
    // The replacement takes the old entry's place in the order; the key viewed the old entry's
    // path, which goes with it.
    const FileInfoItem* replaced = found->second;
    byPath_.erase(found);
    for (std::unique_ptr<FileInfoItem>& slot : items_) {
        if (slot.get() == replaced) {
            slot = std::move(item);
            break;
        }
    }
    byPath_.emplace(added->path, added);
    return *added;
}

FileInfoItem* FileInfoItemHash::Add(std::string_view path) {
    if (byPath_.count(path) != 0) {
        return nullptr;
    }
    auto item = std::make_unique<FileInfoItem>();
    item->path.assign(path);
    FileInfoItem* added = item.get();
    items_.push_back(std::move(item));
    try {
        byPath_.emplace(added->path, added);
    } catch (...) {
        items_.pop_back();  // never an entry that the index does not know
        throw;
    }
    return added;
}

namespace {

// The deepest nesting a list may have, counting its own object as the first level.
constexpr std::size_t kMaxListDepth = 32;

// The names of one object: a short list searched in place, a hash set once it grows, so that a
// hostile object of a million names costs no more than the set would.
class NameSet {
public:
    // False when the name is already there.
    bool Add(std::string_view name) {
        if (many_.empty()) {
            if (std::find(few_.begin(), few_.end(), name) != few_.end()) {
                return false;
            }
            if (few_.size() < kFew) {
                few_.emplace_back(name);
                return true;
            }
            many_.insert(few_.begin(), few_.end());
        }
        return many_.emplace(name).second;
    }
    // Empty again, keeping the short list's storage for the next object; a large set is
    // given back, since clearing it would walk all its buckets every time.
    void Clear() {
        few_.clear();
        if (!many_.empty()) {
            many_ = {};
        }
    }

private:
    static constexpr std::size_t kFew = 16;
    std::vector<std::string> few_;
    std::unordered_set<std::string> many_;
};

// Reads a file list straight into its entries, without a document tree: a list of a hundred
// thousand entries costs its entries and nothing more. The rules are the loader's: one object,
// no name repeated in any object, at most 32 levels; an entry's value that is not an object and
// a member of another type read as empty.
class EntryReader : public rapidjson::BaseReaderHandler<rapidjson::UTF8<>, EntryReader> {
public:
    explicit EntryReader(FileInfoItemHash& list) : list_(list) {}

    bool Default() { return Scalar(rapidjson::Value()); }  // null and booleans
    bool Int(int i) { return Scalar(rapidjson::Value(i)); }
    bool Uint(unsigned u) { return Scalar(rapidjson::Value(u)); }
    bool Int64(std::int64_t i) { return Scalar(rapidjson::Value(i)); }
    bool Uint64(std::uint64_t u) { return Scalar(rapidjson::Value(u)); }
    bool Double(double d) { return Scalar(rapidjson::Value(d)); }
    bool String(const char* text, rapidjson::SizeType length, bool) {
        if (depth_ == 2 && arrays_ == 0 && entry_ != nullptr) {
            if (key_ == "md5") {
                entry_->md5.assign(text, length);
            } else if (key_ == "sha256") {
                entry_->sha256.assign(text, length);
            } else if (key_ == "zxpath") {
                entry_->zxPath.assign(text, length);
            }
        }
        return Scalar(rapidjson::Value());
    }

    bool StartObject() {
        if (depth_ + arrays_ >= kMaxListDepth) {
            return false;
        }
        // The sets of finished objects are used again: a list of many entries opens an object
        // per entry.
        if (depth_ == names_.size()) {
            names_.emplace_back();
        } else {
            names_[depth_].Clear();
        }
        ++depth_;
        return true;
    }
    bool Key(const char* text, rapidjson::SizeType length, bool) {
        const std::string_view name(text, length);
        if (depth_ == 1) {
            // An entry: its path is the name, its fields follow in its object.
            entry_ = list_.Add(name);
            if (entry_ == nullptr) {
                return false;
            }
            return true;
        }
        if (!names_[depth_ - 1].Add(name)) {
            return false;
        }
        key_.assign(name);
        return true;
    }
    bool EndObject(rapidjson::SizeType) {
        --depth_;
        return true;
    }
    bool StartArray() {
        // The list itself must be an object; arrays inside it only add depth.
        if (depth_ == 0 || depth_ + arrays_ >= kMaxListDepth) {
            return false;
        }
        ++arrays_;
        return true;
    }
    bool EndArray(rapidjson::SizeType) {
        --arrays_;
        return true;
    }

private:
    bool Scalar(const rapidjson::Value& value) {
        if (depth_ == 0) {
            return false;  // a bare value, not an object
        }
        if (depth_ == 2 && arrays_ == 0 && entry_ != nullptr) {
            if (key_ == "size") {
                entry_->size = JsonInt32(value);
            } else if (key_ == "zxsize") {
                entry_->zxSize = JsonInt32(value);
            }
        }
        return true;
    }

    FileInfoItemHash& list_;
    FileInfoItem* entry_ = nullptr;
    // The names met in each open object, the list's own first (checked against the entries).
    std::vector<NameSet> names_;
    std::size_t depth_ = 0;  // open objects: names_[0, depth_) are theirs
    std::size_t arrays_ = 0;
    std::string key_;  // the member whose value comes next
};

}  // namespace

bool FileListLoader::Parse(const std::string& text) {
    Clear();
    // The text ends at its first zero byte, as a C string would.
    const std::size_t length = std::min(text.find('\0'), text.size());
    rapidjson::MemoryStream stream(text.data(), length);
    EntryReader reader(*this);
    rapidjson::Reader parser;
    // Iterative: deep nesting cannot exhaust the stack. String bytes pass unchecked (GBK).
    if (parser.Parse<rapidjson::kParseIterativeFlag>(stream, reader).IsError()) {
        Clear();
        return false;
    }
    return true;
}

bool LocalFileList::Load() {
    return paths != nullptr && LoadManifestFile(*this, paths->installFileListPath);
}

bool ServerFileList::Fetch() {
    return FetchReplyText(config, "filelist.update", kMaxFileListBytes, replyText) &&
           Parse(replyText);
}

bool ServerFileList::Save() {
    WriteReplyFile(paths == nullptr ? std::string() : paths->downloadFileListPath, replyText);
    return true;
}

bool ServerFileList::IsContained(bool compressed) const {
    for (const std::unique_ptr<FileInfoItem>& item : Entries()) {
        if (!IsContainedRelativePath(item->path) ||
            (compressed && !IsContainedRelativePath(item->zxPath))) {
            return false;
        }
    }
    return true;
}
