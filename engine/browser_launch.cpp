#include "engine/browser_launch.h"

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

bool CUpdateManager::LaunchBrowser(bool force) {
    if (!finished && !force) {
        return false;
    }
    // A browser that fails to start produces no message; the exit status tells it.
    return StartBrowser(pathStore.installFolder);
}
