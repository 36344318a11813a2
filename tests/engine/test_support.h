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
#include "platform/message_target.h"
#include "tests/support/recording_presenter.h"
#include "tests/support/task_folders.h"
#include "tests/support/temp_folder.h"
#include "tests/support/window_messages.h"

namespace enginetest {

using testsupport::Box;
using testsupport::Drain;
using testsupport::IdsAmong;
using testsupport::RecordingPresenter;

// The update manager with its path set on fresh folders, the server settings at their defaults
// and both of its senders on this test's window; everything is put back at the end.
class ManagerOnFolders {
public:
    ManagerOnFolders() : manager(CUpdateManager::Instance()), saved_(manager.pathStore) {
        testsupport::PointAt(manager.pathStore, install, download, compressed);
        ResetServer();
        manager.window = &window;
        manager.progressCtrl.window = &window;
        manager.progressCtrl.lastPermille.value = 0;
        manager.finished = false;
    }
    ManagerOnFolders(const ManagerOnFolders&) = delete;
    ManagerOnFolders& operator=(const ManagerOnFolders&) = delete;
    ~ManagerOnFolders() {
        manager.pathStore = saved_;
        ResetServer();
        manager.window = nullptr;
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
