#include "config/file_list.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <string_view>
#include <unordered_set>

#include <rapidjson/memorystream.h>
#include <rapidjson/reader.h>
#include <rapidjson/stream.h>

#include "config/path_store.h"
#include "config/reply_file.h"
#include "config/server_config.h"
#include "core/path_functions.h"

namespace {

constexpr std::size_t kChunkSize = 64 * 1024;
constexpr std::uint64_t kIndexBits = 0xFFFFFFFFu;
// A slot holds an index in its lower 32 bits, and the upper half of the hash, which also places
// it, so that the index grows without hashing any path again: at most 2^31 slots. The largest
// list the server may send holds far fewer entries.
constexpr std::size_t kMaxEntries = std::size_t{1} << 30;

// The upper half places a slot: multiplied by a large odd number, every bit of the standard
// hash reaches it, also where that hash has only 32 bits.
std::uint64_t HashOf(std::string_view path) {
    return std::uint64_t{std::hash<std::string_view>()(path)} * 0x9E3779B97F4A7C15u;
}

}  // namespace

void FileInfoItemHash::Clear() {
    items_.clear();
    slots_ = {};
    chunks_.clear();
    chunkNext_ = nullptr;
    chunkFree_ = 0;
}

std::size_t FileInfoItemHash::SlotOf(std::string_view path, std::uint64_t hash) const {
    const std::size_t mask = slots_.size() - 1;
    const std::uint64_t tag = hash & ~kIndexBits;
    for (std::size_t i = (hash >> 32) & mask;; i = (i + 1) & mask) {
        const std::uint64_t slot = slots_[i];
        if (slot == 0 ||
            ((slot & ~kIndexBits) == tag && items_[(slot & kIndexBits) - 1].path == path)) {
            return i;
        }
    }
}

void FileInfoItemHash::Grow() {
    std::vector<std::uint64_t> slots(std::max<std::size_t>(16, slots_.size() * 2));
    slots_.swap(slots);
    const std::size_t mask = slots_.size() - 1;
    for (const std::uint64_t slot : slots) {
        if (slot == 0) {
            continue;
        }
        std::size_t i = (slot >> 32) & mask;
        while (slots_[i] != 0) {
            i = (i + 1) & mask;
        }
        slots_[i] = slot;
    }
}

FileInfoItem* FileInfoItemHash::Find(std::string_view path) const {
    if (slots_.empty()) {
        return nullptr;
    }
    const std::uint64_t slot = slots_[SlotOf(path, HashOf(path))];
    // The deque's elements are the list's, not the index's: a const list still hands out its
    // entries for tasks to point at.
    return slot == 0 ? nullptr : const_cast<FileInfoItem*>(&items_[(slot & kIndexBits) - 1]);
}

FileInfoItem* FileInfoItemHash::AddViewing(std::string_view path) {
    if (items_.size() >= kMaxEntries) {
        return nullptr;
    }
    if ((items_.size() + 1) * 2 > slots_.size()) {
        Grow();
    }
    const std::uint64_t hash = HashOf(path);
    const std::size_t slot = SlotOf(path, hash);
    if (slots_[slot] != 0) {
        return nullptr;
    }
    FileInfoItem& added = items_.emplace_back();
    added.path = path;
    slots_[slot] = (hash & ~kIndexBits) | items_.size();
    return &added;
}

FileInfoItem* FileInfoItemHash::Add(std::string_view path) {
    return Find(path) != nullptr ? nullptr : AddViewing(Keep(path));
}

std::string_view FileInfoItemHash::Keep(std::string_view text) {
    if (text.empty()) {
        return {};
    }
    if (text.size() > chunkFree_) {
        const std::size_t size = std::max(kChunkSize, text.size());
        chunks_.push_back(std::unique_ptr<char[]>(new char[size]));
        chunkNext_ = chunks_.back().get();
        chunkFree_ = size;
    }
    std::memcpy(chunkNext_, text.data(), text.size());
    const std::string_view kept(chunkNext_, text.size());
    chunkNext_ += text.size();
    chunkFree_ -= text.size();
    return kept;
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

// Reads a file list straight into its entries, without a document tree: an entry's texts view
// the list's text, so a list of a hundred thousand entries costs its entries and its index. The
// rules are the loader's: one object, no name repeated in any object, at most 32 levels; an
// entry's value that is not an object and a member of another type read as empty.
class EntryReader : public rapidjson::BaseReaderHandler<rapidjson::UTF8<>, EntryReader> {
public:
    // stream: the text being read, or nullptr when it is read in place.
    EntryReader(FileInfoItemHash& list, const rapidjson::MemoryStream* stream)
        : list_(list), stream_(stream) {}

    bool Default() { return Scalar(rapidjson::Value()); }  // null and booleans
    bool Int(int i) { return Scalar(rapidjson::Value(i)); }
    bool Uint(unsigned u) { return Scalar(rapidjson::Value(u)); }
    bool Int64(std::int64_t i) { return Scalar(rapidjson::Value(i)); }
    bool Uint64(std::uint64_t u) { return Scalar(rapidjson::Value(u)); }
    bool Double(double d) { return Scalar(rapidjson::Value(d)); }
    bool String(const char* text, rapidjson::SizeType length, bool copy) {
        if (InEntry()) {
            if (field_ == Field::Md5) {
                entry_->md5 = Text(text, length, copy);
            } else if (field_ == Field::Sha256) {
                entry_->sha256 = Text(text, length, copy);
            } else if (field_ == Field::ZxPath) {
                entry_->zxPath = Text(text, length, copy);
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
    bool Key(const char* text, rapidjson::SizeType length, bool copy) {
        if (depth_ == 1) {
            // An entry: its path is the name, its fields follow in its object.
            entry_ = list_.AddViewing(Text(text, length, copy));
            return entry_ != nullptr;
        }
        const std::string_view name(text, length);
        if (!names_[depth_ - 1].Add(name)) {
            return false;
        }
        field_ = FieldNamed(name);
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
    enum class Field { Other, Md5, Sha256, ZxPath, Size, ZxSize };

    static Field FieldNamed(std::string_view name) {
        if (name == "md5") {
            return Field::Md5;
        }
        if (name == "sha256") {
            return Field::Sha256;
        }
        if (name == "zxpath") {
            return Field::ZxPath;
        }
        if (name == "size") {
            return Field::Size;
        }
        return name == "zxsize" ? Field::ZxSize : Field::Other;
    }

    // Whether a value is a field of an entry: directly in the entry's object.
    bool InEntry() const { return depth_ == 2 && arrays_ == 0 && entry_ != nullptr; }

    // Read in place, a string stands decoded in the text. Otherwise the reader hands over a
    // decoded copy that lasts until the next string; most strings have no escapes, so the same
    // bytes stand in the text just before the stream's position (the closing quote), and the
    // entry views them there; others are kept by the list.
    std::string_view Text(const char* text, rapidjson::SizeType length, bool copy) const {
        if (!copy) {
            return std::string_view(text, length);
        }
        const char* quote = stream_->src_ - 1;
        if (static_cast<std::size_t>(quote - stream_->begin_) >= length &&
            std::memcmp(quote - length, text, length) == 0) {
            return std::string_view(quote - length, length);
        }
        return list_.Keep(std::string_view(text, length));
    }

    bool Scalar(const rapidjson::Value& value) {
        if (depth_ == 0) {
            return false;  // a bare value, not an object
        }
        if (InEntry()) {
            if (field_ == Field::Size) {
                entry_->size = JsonInt32(value);
            } else if (field_ == Field::ZxSize) {
                entry_->zxSize = JsonInt32(value);
            }
        }
        return true;
    }

    FileInfoItemHash& list_;
    const rapidjson::MemoryStream* stream_;
    FileInfoItem* entry_ = nullptr;
    // The names met in each open object, the list's own first (checked against the entries).
    std::vector<NameSet> names_;
    std::size_t depth_ = 0;  // open objects: names_[0, depth_) are theirs
    std::size_t arrays_ = 0;
    Field field_ = Field::Other;  // the member whose value comes next
};

template <unsigned Flags, class Stream>
bool ReadEntries(Stream& stream, EntryReader& reader) {
    rapidjson::Reader parser;
    // Iterative: deep nesting cannot exhaust the stack. String bytes pass unchecked (GBK).
    return !parser.Parse<rapidjson::kParseIterativeFlag | Flags>(stream, reader).IsError();
}

}  // namespace

bool FileListLoader::Parse(const std::string& text) {
    Clear();  // before the text that the entries view changes
    text_ = text;
    return ParseOwnText();
}

bool FileListLoader::LoadFile(const std::string& path) {
    Clear();
    return ReadText(path, text_) && ParseOwnText();
}

bool FileListLoader::ParseOwnText() {
    // The callers clear the entries before they change the text, which the entries view.
    // The text ends at its first zero byte, as a C string would. The list's own copy is read in
    // place: each string is decoded where it stands, escaped or not, and the entries view it.
    text_.resize(std::min(text_.find('\0'), text_.size()));
    rapidjson::InsituStringStream stream(text_.data());
    EntryReader reader(*this, nullptr);
    if (!ReadEntries<rapidjson::kParseInsituFlag>(stream, reader)) {
        Clear();
        return false;
    }
    return true;
}

bool FileListLoader::ParseKept(const std::string& text) {
    Clear();
    const std::size_t length = std::min(text.find('\0'), text.size());
    rapidjson::MemoryStream stream(text.data(), length);
    EntryReader reader(*this, &stream);
    if (!ReadEntries<0>(stream, reader)) {
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
           ParseKept(replyText);
}

bool ServerFileList::Save() {
    WriteReplyFile(paths == nullptr ? std::string() : paths->downloadFileListPath, replyText);
    return true;
}

bool ServerFileList::IsContained(bool compressed) const {
    for (const FileInfoItem& item : Entries()) {
        if (!IsContainedRelativePath(item.path) ||
            (compressed && !IsContainedRelativePath(item.zxPath))) {
            return false;
        }
    }
    return true;
}
