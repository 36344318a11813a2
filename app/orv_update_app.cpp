#include "app/orv_update_app.h"

#include "app/singleton_launch.h"
#include "engine/update_manager.h"
#include "engine/user_texts.h"
#include "platform/message_box.h"

bool COrvUpdateApp::InitInstance() {
    CUpdateManager& manager = CUpdateManager::Instance();

    SingletonLaunch guard;
    if (guard.IsAlreadyRunning()) {
        platform::ShowMessageBox(texts::kCaptionUpdater, texts::kAlreadyRunning);
        exitStatus = kBrowserNotStarted;
        return false;
    }

    if (!manager.serverConfig.Fetch() || !manager.serverFileDZ.Fetch()) {
        platform::ShowMessageBox(texts::kCaptionStartupFailed, texts::StartupFailed());
        exitStatus = kBrowserNotStarted;
        return false;
    }

    if (!manager.IsUpdateNeeded()) {
        manager.LaunchBrowser(true);
        exitStatus = kBrowserStarted;
        return false;
    }

    const FrontEnd::DialogEnd end = frontEnd_.RunUpdateDialog(manager);
    manager.Detach();
    if (manager.IsFinished()) {
        manager.LaunchBrowser(false);
        exitStatus = kBrowserStarted;
    } else {
        exitStatus = end == FrontEnd::DialogEnd::ClosedByUser ? kClosedByUser : kBrowserNotStarted;
    }
    return false;
}
