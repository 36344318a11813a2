#include "app/singleton_launch.h"

#include "core/path_functions.h"
#include "platform/paths.h"

std::u16string MutexNameForFolder(const std::u16string& folder) {
    std::u16string name = u"E7559146_C78A_4425_8B03_0932D3694112";
    for (char16_t c : folder) {
        name += (c == u'.' || c == u':' || c == u'\\') ? u'_' : c;
    }
    return name;
}

std::u16string UpdaterFolder() {
    std::u16string module;
    GetModulePath(module);
    return platform::CanonicalizePath(ParentFolder(module));
}

SingletonLaunch::SingletonLaunch() : mutex(MutexNameForFolder(UpdaterFolder())) {}

bool SingletonLaunch::IsAlreadyRunning() const {
    return mutex.state() == platform::NamedLock::State::AlreadyExists;
}

bool SingletonLaunch::HasFailed() const {
    return mutex.state() == platform::NamedLock::State::Failed;
}

WorkFolderGuard::WorkFolderGuard(const std::string& downloadFolder)
    : lock(u"orvupdate-work-folders-" + ToWide(downloadFolder)) {}

bool WorkFolderGuard::IsInUse() const {
    return lock.state() == platform::NamedLock::State::AlreadyExists;
}

bool WorkFolderGuard::HasFailed() const {
    return lock.state() == platform::NamedLock::State::Failed;
}
