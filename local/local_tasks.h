#pragma once
// The tasks that change the installation folder: copy, delete and replace one file.

#include "core/task.h"

namespace platform {
class CopyBatch;
}

class LocalTaskBase : public OrvTask {
public:
    // Asks the user to close the browser and try again; true for OK.
    bool OnFailed() override;

    enum class Prepared { Nothing, Written, Failed };
    // Adds the task's copy to a batch written ahead of the task (Nothing when the task writes
    // no copy, or makes it itself as it runs).
    virtual Prepared PrepareCopy(platform::CopyBatch& batch) {
        (void)batch;
        return Prepared::Nothing;
    }
    // The copy prepared for this task is on disk: its next attempt only renames it into place
    // (and copies afresh when that fails).
    void UsePreparedCopy() { usePreparedCopy_ = true; }
    // Whether a prepared copy waits for the task's next attempt.
    bool HasPreparedCopy() const { return usePreparedCopy_; }

protected:
    bool usePreparedCopy_ = false;
};

// Copies downloadFolder + source over installFolder + target.
class LocalCopyTask : public LocalTaskBase {
public:
    bool Execute() override;
    Prepared PrepareCopy(platform::CopyBatch& batch) override;
};

// Deletes installFolder + source (a missing file counts as deleted), and a copy of it that a
// killed run left behind.
class LocalDeleteTask : public LocalTaskBase {
public:
    bool Execute() override;
};

// Copies downloadFolder + source over installFolder + target; the installed file stays whole
// until the new one replaces it. An empty folder in the way is deleted first.
class LocalReplaceTask : public LocalTaskBase {
public:
    bool Execute() override;
    Prepared PrepareCopy(platform::CopyBatch& batch) override;

private:
    enum class Target { Refused, FolderInTheWay, Free };
    Target CheckTarget(const std::string& targetPath) const;
    LocalCopyTask MakeCopy() const;
};
