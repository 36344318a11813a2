#pragma once
// The single-instance guard: one updater per installation folder.

#include <string>

#include "platform/instance_lock.h"

class SingletonLaunch {
public:
    // Takes the lock named after the updater's folder.
    SingletonLaunch();
    virtual ~SingletonLaunch() = default;

    // True when another updater of this folder holds the lock.
    bool IsAlreadyRunning() const;
    // True when the lock could not be taken at all (no private folder for it, another user's
    // file): nothing is known about other updaters.
    bool HasFailed() const;

private:
    platform::NamedLock mutex;
};

// The work folders belong to one user and serve every installation that user updates: one
// updater at a time uses them. Taken before the update begins, held until the process ends.
class WorkFolderGuard {
public:
    explicit WorkFolderGuard(const std::string& downloadFolder);

    // True when another updater of this user is using the work folders.
    bool IsInUse() const;
    bool HasFailed() const;

private:
    platform::NamedLock lock;
};

// The lock's name: the GUID text followed by the folder, in which every ".", ":" and "\" is
// replaced by "_" ("/" is kept).
std::u16string MutexNameForFolder(const std::u16string& folder);

// The canonical folder of the running updater (no trailing separator, except at a drive root).
std::u16string UpdaterFolder();
