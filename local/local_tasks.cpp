#include "local/local_tasks.h"

#include <utility>

#include "config/file_list.h"
#include "config/path_store.h"
#include "core/path_functions.h"
#include "core/user_texts.h"
#include "platform/files.h"
#include "platform/message_box.h"

bool LocalTaskBase::OnFailed() {
    return platform::AskOkCancel(texts::kCaptionUpdateFailed, texts::kCloseBrowserQuestion);
}

bool LocalCopyTask::Execute() {
    // Names come from the manifests; one that climbs out of its folder is never written.
    if (!IsContainedRelativePath(source) || !IsContainedRelativePath(target)) {
        return false;
    }
    const std::string targetPath = paths->installFolder + target;
    const std::string sourcePath = paths->downloadFolder + source;
    CreateParentFolders(targetPath);
    // A prepared copy serves one attempt: a later one copies afresh.
    if (std::exchange(usePreparedCopy_, false) && platform::ReplaceWithCopy(targetPath)) {
        return true;
    }
    return platform::CopyWholeFile(sourcePath, targetPath);
}

LocalTaskBase::Prepared LocalCopyTask::PrepareCopy(platform::CopyBatch& batch) {
    if (!IsContainedRelativePath(source) || !IsContainedRelativePath(target)) {
        return Prepared::Nothing;
    }
    const std::string targetPath = paths->installFolder + target;
    CreateParentFolders(targetPath);
    return batch.Add(paths->downloadFolder + source, targetPath) ? Prepared::Written
                                                                 : Prepared::Failed;
}

bool LocalDeleteTask::Execute() {
    // An installed list may name anything; a name outside the installation folder is left alone,
    // and there is nothing of ours to delete there.
    if (!IsContainedRelativePath(source)) {
        return true;
    }
    const std::string path = paths->installFolder + source;
    CreateParentFolders(path);
    if (!DeleteFileAt(path)) {
        return false;
    }
    // A copy of this file cut short by a killed run goes with it, when there is one.
    platform::DeleteAt(ToWide(platform::CopyTemporaryPath(path)), false);
    return true;
}

LocalReplaceTask::Target LocalReplaceTask::CheckTarget(const std::string& targetPath) const {
    // A path that the deletion refuses is refused here too, as the replace always was.
    if (ToWide(targetPath).size() >= kMaxPathLength) {
        return Target::Refused;
    }
    return IsContainedRelativePath(target) && IsFolderA(targetPath) ? Target::FolderInTheWay
                                                                    : Target::Free;
}

LocalCopyTask LocalReplaceTask::MakeCopy() const {
    LocalCopyTask copy;
    copy.source = source;
    copy.target = target;
    return copy;
}

bool LocalReplaceTask::Execute() {
    // The temporaries only do the work: the question after a failure is this task's own.
    // The copy replaces the installed file in one step, so a failed copy (a full disk, a file
    // held open) leaves the old one in place. Only a folder in the way, which a file cannot
    // replace, is deleted first.
    switch (CheckTarget(paths->installFolder + target)) {
        case Target::Refused:
            return false;
        case Target::FolderInTheWay: {
            LocalDeleteTask remove;
            remove.source = target;
            if (!remove.Execute()) {
                return false;
            }
            break;
        }
        case Target::Free:
            break;
    }
    LocalCopyTask copy = MakeCopy();
    if (std::exchange(usePreparedCopy_, false)) {
        copy.UsePreparedCopy();
    }
    return copy.Execute();
}

LocalTaskBase::Prepared LocalReplaceTask::PrepareCopy(platform::CopyBatch& batch) {
    // A name the task refuses, and a folder in the way, are the task's own to handle.
    if (CheckTarget(paths->installFolder + target) != Target::Free) {
        return Prepared::Nothing;
    }
    return MakeCopy().PrepareCopy(batch);
}
