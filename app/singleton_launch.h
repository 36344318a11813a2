#pragma once
// The single-instance guard: one updater per installation folder.

#include <string>

#include "platform/instance_lock.h"

class SingletonLaunch {
public:
    // Takes the lock named after the updater's folder.
    SingletonLaunch();
    virtual ~SingletonLaunch() = default;

    // True when another updater of this folder holds the lock, or the lock could not be taken.
    bool IsAlreadyRunning() const;

private:
    platform::NamedLock mutex;
};

// The lock's name: the GUID text followed by the folder, in which every ".", ":" and "\" is
// replaced by "_" ("/" is kept).
std::u16string MutexNameForFolder(const std::u16string& folder);

// The canonical folder of the running updater (no trailing separator, except at a drive root).
std::u16string UpdaterFolder();
