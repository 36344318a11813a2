#include "app/browser_launch.h"

#include "engine/update_manager.h"
#include "platform/process.h"

bool StartProcess(const std::string& commandLine) {
    return platform::StartProgram(commandLine);
}

std::string BrowserCommandLine(const std::string& installFolder) {
    return installFolder + "orvel.exe";
}

bool StartBrowser(const std::string& installFolder) {
    return StartProcess(BrowserCommandLine(installFolder));
}

void CUpdateManager::LaunchBrowser(bool force) {
    if (!finished && !force) {
        return;
    }
    // Nobody acts on the result: a browser that fails to start produces no message.
    StartBrowser(pathStore.installFolder);
}
