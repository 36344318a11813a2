#include "engine/update_plan.h"

#include <limits>
#include <set>

#include "config/file_list.h"
#include "config/path_store.h"
#include "config/server_config.h"
#include "core/path_functions.h"
#include "core/progress_ctrl.h"
#include "core/user_texts.h"
#include "engine/update_manager.h"
#include "local/local_tasks.h"
#include "package/uncompress_task.h"
#include "platform/files.h"
#include "platform/message_box.h"
#include "transfer/download_task.h"

void OrvDownloadTask::Prepare() {
    attempts = config->downRetry;
    progress->BeginDownloadProgress(static_cast<std::uint32_t>(total));
    OrvTaskSetTask::Prepare();
}

void OrvDownloadTask::OnSucceeded() {
    progress->NotifyDownloadComplete();
}

bool OrvDownloadTask::OnFailed() {
    platform::ShowMessageBox(texts::kCaptionUpdateFailed, texts::DownloadFailed());
    return false;
}

void OrvUncompressTask::Prepare() {
    // Plain mode has no packages, and the dialog is not told about a stage that does nothing.
    if (children.empty()) {
        return;
    }
    progress->NotifyUncompressStage();
    OrvTaskSetTask::Prepare();
}

namespace {

// The dictionary that a package takes at most while it unpacks: its listed size, beyond which
// the decoder allots none; an unknown size counts as too much.
std::uint64_t UnpackingMemory(const XTask* child) {
    const auto* task = dynamic_cast<const UncompressTask*>(child);
    if (task == nullptr || task->entry == nullptr || task->entry->size <= 0) {
        return std::numeric_limits<std::uint64_t>::max() / 2;
    }
    return static_cast<std::uint64_t>(task->entry->size);
}

}  // namespace

void OrvUncompressTask::BeforeChild(std::size_t index) {
    // Packages unpack into files of their own, and unpacking is the work of a processor: two
    // at a time take about half as long on two cores. The one ahead is the next child, whose
    // Execute takes its result. Two unpack together only while their dictionaries fit in what
    // the largest one of a release takes alone, so memory does not grow with it.
    constexpr std::uint64_t kTogetherMemory = 8u << 20;
    if (index + 1 >= children.size() ||
        UnpackingMemory(children[index]) + UnpackingMemory(children[index + 1]) > kTogetherMemory) {
        return;
    }
    auto* next = dynamic_cast<UncompressTask*>(children[index + 1]);
    if (next != nullptr && !next->IsDone()) {
        next->StartAhead();
    }
}

void OrvUncompressTask::OnAfter() {
    for (XTask* child : children) {
        if (auto* task = dynamic_cast<UncompressTask*>(child)) {
            task->WaitAhead();
        }
    }
}

bool OrvUncompressTask::OnFailed() {
    platform::ShowMessageBox(texts::kCaptionUpdateFailed, texts::UncompressFailed());
    return false;
}

void OrvLocalsetTask::Prepare() {
    attempts = 5;
    progress->NotifyLocalsetStage();
    OrvTaskSetTask::Prepare();
}

void OrvLocalsetTask::BeforeChild(std::size_t index) {
    if (!preparing_ || index < preparedUpTo_ || !platform::CopyBatch::Supported()) {
        return;
    }
    // Enough copies for the disk to take them together, few enough to keep each open.
    constexpr std::size_t kBatchSize = 128;
    platform::CopyBatch batch;
    std::vector<LocalTaskBase*> added;
    std::set<std::string> targets;  // one copy per target in a batch
    std::size_t next = index;
    for (; next < children.size() && added.size() < kBatchSize; ++next) {
        auto* task = dynamic_cast<LocalTaskBase*>(children[next]);
        if (task == nullptr || task->IsDone() || !targets.insert(task->target).second) {
            continue;
        }
        const LocalTaskBase::Prepared result = task->PrepareCopy(batch);
        if (result == LocalTaskBase::Prepared::Failed) {
            // A full disk, say: the tasks copy one by one as they run, each freeing the space
            // of the file it replaces.
            preparing_ = false;
            break;
        }
        if (result == LocalTaskBase::Prepared::Written) {
            added.push_back(task);
        }
    }
    preparedUpTo_ = next;
    const std::vector<bool> flushed = batch.Flush();
    for (std::size_t i = 0; i < added.size(); ++i) {
        if (flushed[i]) {
            added[i]->UsePreparedCopy();
            prepared_.push_back(added[i]);
        }
    }
}

void OrvLocalsetTask::OnAfter() {
    for (LocalTaskBase* task : prepared_) {
        if (task->HasPreparedCopy()) {
            platform::DeleteAt(
                ToWide(platform::CopyTemporaryPath(paths->installFolder + task->target)), false);
        }
    }
    prepared_.clear();
    preparedUpTo_ = 0;
    preparing_ = true;
}

bool OrvLocalsetTask::OnFailed() {
    platform::ShowMessageBox(texts::kCaptionUpdateFailed, texts::LocalsetFailed());
    return false;
}

void OrvFinishTask::Prepare() {
    progress->NotifyFinishStage();
    OrvTaskSetTask::Prepare();
}

OrvUpdateTask::OrvUpdateTask() {
    Add(&download);
    Add(&uncompress);
    Add(&localset);
    Add(&finish);
}

std::string ReplaceTargetName(std::string_view path) {
    // The running updater and the libraries it has loaded cannot be overwritten; the new copies
    // are written beside them.
    if (path == "orvupdate.exe") {
        return "orvupdate_new.exe";
    }
    if (path == "msvcr100.dll") {
        return "msvcr100_new.dll";
    }
    if (path == "libcurl.dll") {
        return "libcurl_new.dll";
    }
    return std::string(path);
}

namespace {

// Adds a file's size to a stage total. Sizes come from the server; a negative one counts
// nothing, and a sum beyond the 32-bit range stays at its end instead of wrapping.
std::int32_t AddToTotal(std::int32_t total, std::int32_t size) {
    if (size <= 0) {
        return total;
    }
    const std::int64_t sum = std::int64_t{total} + size;
    const std::int64_t limit = std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(sum > limit ? limit : sum);
}

void AddDownloads(OrvUpdateTask& root, FileInfoItem& entry, bool compressed,
                  const PathStore& paths) {
    auto download = std::make_unique<DownloadTask>();
    download->displayName = entry.path;
    download->entry = &entry;
    if (compressed) {
        download->source = entry.zxPath;
        download->localFolder = paths.compressedFolder;
        download->expectedSize = entry.zxSize;
        // The list gives no digest of a package; the unpacked file is what the digest describes.
        download->verifyDigest = false;
    } else {
        download->source = entry.path;
        download->localFolder = paths.downloadFolder;
        download->expectedSize = entry.size;
        download->verifyDigest = true;
    }
    root.download.total = AddToTotal(root.download.total, download->expectedSize);
    root.download.Adopt(std::move(download));

    if (compressed) {
        auto uncompress = std::make_unique<UncompressTask>();
        uncompress->source = entry.zxPath;
        uncompress->target = entry.path;
        uncompress->entry = &entry;
        root.uncompress.Adopt(std::move(uncompress));
    }
}

void AddReplace(OrvTaskSetTask& stage, std::string_view source, std::string target) {
    auto replace = std::make_unique<LocalReplaceTask>();
    replace->source = source;
    replace->target = std::move(target);
    stage.Adopt(std::move(replace));
}

void AddCopy(OrvTaskSetTask& stage, FileInfoItem& entry) {
    auto copy = std::make_unique<LocalCopyTask>();
    copy->source = entry.path;
    copy->target = entry.path;
    copy->entry = &entry;
    stage.Adopt(std::move(copy));
}

void AddDelete(OrvTaskSetTask& stage, std::string_view path) {
    auto remove = std::make_unique<LocalDeleteTask>();
    remove->source = path;
    stage.Adopt(std::move(remove));
}

}  // namespace

bool WouldEmptyInstallation(const LocalFileList& local, const ServerFileList& server) {
    if (server.Count() == 0 && local.Count() != 0) {
        return true;
    }
    return local.Find("orvel.exe") != nullptr && server.Find("orvel.exe") == nullptr;
}

std::unique_ptr<OrvUpdateTask> BuildUpdatePlan(LocalFileList& local, ServerFileList& server,
                                               TaskManager& taskManager) {
    auto root = std::make_unique<OrvUpdateTask>();
    const PathStore& paths = *taskManager.paths;
    const bool compressed = root->config->compressed;
    // Every unchanged file is looked for; a folder's names are read once for all its files.
    platform::PathPresence installed;

    for (FileInfoItem& entry : server.Entries()) {
        const FileInfoItem* known = local.Find(entry.path);
        if (known == nullptr) {
            AddDownloads(*root, entry, compressed, paths);
            AddReplace(root->localset, entry.path, ReplaceTargetName(entry.path));
        } else if (!installed.Exists(paths.installFolder + std::string(entry.path))) {
            AddDownloads(*root, entry, compressed, paths);
            AddCopy(root->localset, entry);
        } else if (entry.md5 != known->md5) {
            AddDownloads(*root, entry, compressed, paths);
            AddReplace(root->localset, entry.path, ReplaceTargetName(entry.path));
        }
    }

    for (const FileInfoItem& item : local.Entries()) {
        if (server.Find(item.path) == nullptr) {
            AddDelete(root->localset, item.path);
        }
    }

    AddReplace(root->finish, "filelist.update", "filelist.update");
    AddReplace(root->finish, "fldz.update", "fldz.update");
    return root;
}
