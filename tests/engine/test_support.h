#pragma once
// Observers and set-up for engine tests: a message-box presenter that records what the user
// would see and answers from a script, the messages that reached a window, and the update
// manager pointed at fresh folders.

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "engine/update_manager.h"
#include "platform/message_box.h"
#include "platform/message_target.h"
#include "tests/support/temp_folder.h"

namespace enginetest {

struct Box {
    std::u16string caption;
    std::u16string text;
    bool okCancel = false;
};

// Installed for its lifetime. Questions take the scripted answers in order, then the default.
class RecordingPresenter : public platform::MessageBoxPresenter {
public:
    explicit RecordingPresenter(bool defaultAnswer = true) : defaultAnswer_(defaultAnswer) {
        platform::SetMessageBoxPresenter(this);
    }
    ~RecordingPresenter() override { platform::SetMessageBoxPresenter(nullptr); }

    bool Present(const std::u16string& caption, const std::u16string& text,
                 bool okCancel) override {
        boxes.push_back({caption, text, okCancel});
        if (onQuestion && okCancel) {
            onQuestion(Questions());
        }
        if (!okCancel) {
            return true;
        }
        if (answers.empty()) {
            return defaultAnswer_;
        }
        const bool answer = answers.front();
        answers.pop_front();
        return answer;
    }

    std::size_t Questions() const {
        std::size_t count = 0;
        for (const Box& box : boxes) {
            count += box.okCancel ? 1 : 0;
        }
        return count;
    }

    std::vector<Box> boxes;
    std::deque<bool> answers;
    // Called with the number of the question before it is answered.
    std::function<void(std::size_t)> onQuestion;

private:
    bool defaultAnswer_;
};

// Everything queued at a window so far, in posting order.
inline std::vector<platform::Message> Drain(platform::MessageTarget& window) {
    std::vector<platform::Message> messages;
    platform::Message message;
    while (window.TryTake(message)) {
        messages.push_back(message);
    }
    return messages;
}

// The ids of the messages that are in the given set, in posting order.
inline std::vector<std::uint32_t> IdsAmong(const std::vector<platform::Message>& messages,
                                           std::initializer_list<std::uint32_t> wanted) {
    std::vector<std::uint32_t> ids;
    for (const platform::Message& message : messages) {
        if (std::find(wanted.begin(), wanted.end(), message.id) != wanted.end()) {
            ids.push_back(message.id);
        }
    }
    return ids;
}

// The update manager with its path set on fresh folders, the server settings at their defaults
// and both of its senders on this test's window; everything is put back at the end.
class ManagerOnFolders {
public:
    ManagerOnFolders() : manager(CUpdateManager::Instance()), saved_(manager.pathStore) {
        // Work folders are private to their user, as the path store makes them.
        for (const testsupport::TempFolder* folder : {&download, &compressed}) {
            std::filesystem::permissions(folder->path(), std::filesystem::perms::owner_all);
        }
        PathStore& paths = manager.pathStore;
        paths.installFolder = install.Narrow();
        paths.downloadFolder = download.Narrow();
        paths.compressedFolder = compressed.Narrow();
        paths.downloadFileListPath = paths.downloadFolder + "filelist.update";
        paths.installFileListPath = paths.installFolder + "filelist.update";
        paths.downloadNoticePath = paths.downloadFolder + "fldz.update";
        paths.installNoticePath = paths.installFolder + "fldz.update";
        ResetServer();
        static_cast<MessageSender&>(manager).window = &window;
        manager.progressCtrl.window = &window;
        manager.progressCtrl.lastPermille.value = 0;
        manager.finished = false;
    }
    ManagerOnFolders(const ManagerOnFolders&) = delete;
    ManagerOnFolders& operator=(const ManagerOnFolders&) = delete;
    ~ManagerOnFolders() {
        manager.pathStore = saved_;
        ResetServer();
        static_cast<MessageSender&>(manager).window = nullptr;
        manager.progressCtrl.window = nullptr;
    }

    CUpdateManager& manager;
    testsupport::TempFolder install{"install"};
    testsupport::TempFolder download{"download"};
    testsupport::TempFolder compressed{"compressed"};
    platform::MessageTarget window;

private:
    void ResetServer() {
        // The server list keeps what it read (a loader adds to the members it holds): each test
        // starts without the list of the one before.
        manager.serverFileList.root->SetObject();
        manager.serverFileList.Clear();
        manager.serverFileList.replyText.clear();
        ServerConfig& config = manager.serverConfig;
        config.downUrl.clear();
        config.downZxUrl.clear();
        config.compressed = false;
        config.downTime = 30;
        config.downRetry = 50;
    }

    PathStore saved_;
};

}  // namespace enginetest
