#include "config/file_list.h"

#include "config/path_store.h"
#include "config/reply_file.h"
#include "config/server_config.h"
#include "core/path_functions.h"

void FileInfoItemHash::Clear() {
    byPath_.clear();
    items_.clear();
}

FileInfoItem* FileInfoItemHash::Find(const std::string& path) const {
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
    // The replacement takes the old entry's place in the order.
    for (std::unique_ptr<FileInfoItem>& slot : items_) {
        if (slot.get() == found->second) {
            slot = std::move(item);
            break;
        }
    }
    found->second = added;
    return *added;
}

bool FileListLoader::Parse(const std::string& text) {
    Clear();
    if (!JsonLoader::Parse(text)) {
        return false;
    }
    for (auto member = root->MemberBegin(); member != root->MemberEnd(); ++member) {
        auto item = std::make_unique<FileInfoItem>();
        item->path = JsonText(member->name);
        if (!member->value.IsObject()) {
            member->value.SetObject();
        }
        JsonLoader entry(member->value, allocator());
        item->md5 = entry.GetString("md5");
        item->size = entry.GetNumber("size");
        item->zxPath = entry.GetString("zxpath");
        item->zxSize = entry.GetNumber("zxsize");
        Insert(std::move(item));
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
