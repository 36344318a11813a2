#pragma once
// The tasks that change the installation folder: copy, delete and replace one file.

#include "core/task.h"

class LocalTaskBase : public OrvTask {
public:
    // Asks the user to close the browser and try again; true for OK.
    bool OnFailed() override;

    enum class Prepared { Nothing, Written, Failed };
    // Writes the task's copy beside its target ahead of the stage, not yet flushed to disk, so
    // that the stage flushes every copy at once (platform::PrepareCopy).
    virtual Prepared PrepareCopy() { return Prepared::Nothing; }
    // Once the prepared copies are on disk: the task only renames its copy into place (and
    // copies in full when that fails).
    void UsePreparedCopy() { usePreparedCopy_ = true; }

protected:
    bool usePreparedCopy_ = false;
};

// Copies downloadFolder + source over installFolder + target.
class LocalCopyTask : public LocalTaskBase {
public:
    bool Execute() override;
    Prepared PrepareCopy() override;
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
    Prepared PrepareCopy() override;
};
