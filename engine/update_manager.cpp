#include "engine/update_manager.h"

#include <exception>

#include "config/file_digest.h"
#include "config/reply_file.h"
#include "core/messages.h"
#include "core/path_functions.h"
#include "core/release_signing.h"
#include "core/user_texts.h"
#include "engine/update_plan.h"
#include "platform/message_box.h"
#include "platform/signature.h"

CUpdateManager::CUpdateManager() : xsimplethread("Update Manager") {
    InitPathStore(pathStore);

    OrvObject::paths = &pathStore;
    OrvObject::config = &serverConfig;
    OrvObject::progress = &progressCtrl;
    serverFileDZ.paths = &pathStore;
    serverFileDZ.config = &serverConfig;
    serverFileList.paths = &pathStore;
    serverFileList.config = &serverConfig;

    taskManager = new TaskManager();
}

ManagerContext& UpdateManagerContext() {
    return CUpdateManager::Instance();
}

void CUpdateManager::ThreadMain() {
    try {
        Update();
    } catch (...) {
        ReportUnexpectedFailure();
    }
    progressCtrl.PostToWindow(msg::kQuit, 0, 0);
}

void CUpdateManager::ReportUnexpectedFailure() {
    // A full or unwritable temporary folder, or exhausted memory, is told like the failure of
    // whatever was running: the stage of the plan, or the reading of the server's list before it.
    try {
        if (!plan) {
            platform::ShowMessageBox(texts::kCaptionUpdateFailed, texts::ServerListFailed());
            return;
        }
        for (XTask* stage : plan->children) {
            if (!stage->IsDone()) {
                if (stage == &plan->finish) {
                    // The finish stage fails silently by itself, but an exception there means
                    // the installation folder could not be completed.
                    platform::ShowMessageBox(texts::kCaptionUpdateFailed, texts::LocalsetFailed());
                } else {
                    stage->OnFailed();
                }
                return;
            }
        }
    } catch (...) {
        // Nothing more can be told; the dialog still closes.
    }
}

bool CUpdateManager::Update() {
    plan.reset();
    const bool workFoldersUsable =
        !pathStore.downloadFolder.empty() && !pathStore.compressedFolder.empty();
    if (!serverFileList.Fetch() || !serverFileList.IsContained(serverConfig.compressed) ||
        !IsReleaseAuthentic()) {
        platform::ShowMessageBox(texts::kCaptionUpdateFailed, texts::ServerListFailed());
        return false;
    }

    LocalFileList local;
    try {
        local.Load();
    } catch (const FileAccessError&) {
        // An installed list that cannot be read counts as missing: every server file is new.
        local.Clear();
    }
    if (WouldEmptyInstallation(local, serverFileList)) {
        platform::ShowMessageBox(texts::kCaptionUpdateFailed, texts::ServerListFailed());
        return false;
    }
    if (!workFoldersUsable) {
        // Without a work folder every download would land in the current folder.
        platform::ShowMessageBox(texts::kCaptionUpdateFailed, texts::DownloadFailed());
        return false;
    }
    if (!HasResumableWork() &&
        !RecreateWorkFolders(pathStore.downloadFolder, pathStore.compressedFolder)) {
        // Leftovers of another release that cannot be removed would be taken for this one's.
        platform::ShowMessageBox(texts::kCaptionUpdateFailed, texts::DownloadFailed());
        return false;
    }
    serverFileList.Save();
    serverFileDZ.Save();

    plan = BuildUpdatePlan(local, serverFileList, *taskManager);
    const bool ok = plan->Run();
    if (ok) {
        finished = true;
        RecreateWorkFolders(pathStore.downloadFolder, pathStore.compressedFolder);
    }
    return ok;
}

bool CUpdateManager::IsReleaseAuthentic() {
    serverConfig.signedRelease = false;
    if (releasePublicKey.empty()) {
        return true;
    }
    std::string signature;
    if (!FetchReplyBytes(&serverConfig, kReleaseSignatureName,
                         static_cast<std::int32_t>(platform::kSignatureSize), signature) ||
        signature.size() != platform::kSignatureSize) {
        return false;
    }
    const platform::Bytes message =
        ReleaseSignedMessage(serverFileDZ.replyText, serverFileList.replyText);
    if (message.empty() ||
        !platform::VerifySignature(releasePublicKey, message.data(), message.size(),
                                   platform::Bytes(signature.begin(), signature.end()))) {
        return false;
    }
    for (const FileInfoItem& item : serverFileList.Entries()) {
        if (!IsSha256Text(item.sha256)) {
            return false;
        }
    }
    serverConfig.signedRelease = true;
    return true;
}

bool CUpdateManager::HasResumableWork() {
    const std::string& path = pathStore.downloadNoticePath;
    if (!PathExistsA(path) || IsFolderA(path)) {
        return false;
    }
    LocalFileDZ saved;
    try {
        if (!saved.LoadFile(path)) {
            return false;
        }
    } catch (const FileAccessError&) {
        // A saved notice that cannot be read names no release: the work folders start afresh.
        return false;
    }
    return saved.version == serverFileDZ.version && saved.id == serverFileDZ.id;
}

bool CUpdateManager::IsUpdateNeeded() {
    LocalFileDZ installed;
    try {
        installed.Load();
    } catch (const FileAccessError&) {
        // An installed notice that cannot be read counts as missing.
        installed.version.clear();
    }
    return VersionSortsBefore(installed.version, serverFileDZ.version);
}

std::u16string CUpdateManager::GetServerVersionText() {
    return ToWide(serverFileDZ.version);
}

std::u16string CUpdateManager::GetServerNoticeText() {
    return ToWide(serverFileDZ.NoticeText());
}

std::u16string CUpdateManager::GetHomepageText() {
    return ToWide(serverConfig.homepage);
}
