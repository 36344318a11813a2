#include "app/orv_update_app.h"

#include "app/singleton_launch.h"
#include "core/user_texts.h"
#include "engine/update_manager.h"
#include "platform/message_box.h"

bool COrvUpdateApp::InitInstance() {
    CUpdateManager& manager = CUpdateManager::Instance();

    SingletonLaunch guard;
    if (guard.IsAlreadyRunning()) {
        platform::ShowMessageBox(texts::kCaptionUpdater, texts::kAlreadyRunning);
        exitStatus = kBrowserNotStarted;
        return false;
    }

    // An installation folder that the narrow code page cannot name would be looked for, and
    // written, somewhere else: the update cannot start there. Nor can it without the guard.
    const bool installationNamed = !manager.pathStore.installFolder.empty();
    if (guard.HasFailed() || !installationNamed || !manager.serverConfig.Fetch() ||
        !manager.serverFileDZ.Fetch()) {
        platform::ShowMessageBox(texts::kCaptionStartupFailed, texts::StartupFailed());
        exitStatus = kBrowserNotStarted;
        return false;
    }

    // The exit status tells whether the browser runs.
    if (!manager.IsUpdateNeeded()) {
        exitStatus = manager.LaunchBrowser(true) ? kBrowserStarted : kBrowserNotStarted;
        return false;
    }

    // Another installation of this user being updated now would share the work folders: its
    // files would be emptied away or taken for this release's.
    const WorkFolderGuard workFolders(manager.pathStore.downloadFolder);
    if (workFolders.IsInUse()) {
        platform::ShowMessageBox(texts::kCaptionUpdater, texts::kAlreadyRunning);
        exitStatus = kBrowserNotStarted;
        return false;
    }
    if (workFolders.HasFailed()) {
        platform::ShowMessageBox(texts::kCaptionStartupFailed, texts::StartupFailed());
        exitStatus = kBrowserNotStarted;
        return false;
    }

    const FrontEnd::DialogEnd end = frontEnd_.RunUpdateDialog(manager);
    manager.Detach();
    if (manager.IsFinished()) {
        exitStatus = manager.LaunchBrowser(false) ? kBrowserStarted : kBrowserNotStarted;
    } else {
        exitStatus = end == FrontEnd::DialogEnd::ClosedByUser ? kClosedByUser : kBrowserNotStarted;
    }
    return false;
}
