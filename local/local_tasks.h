#pragma once
// The tasks that change the installation folder: copy, delete and replace one file.

#include "engine/task.h"

class LocalTaskBase : public OrvTask {
public:
    // Asks the user to close the browser and try again; true for OK.
    bool OnFailed() override;
};

// Copies downloadFolder + source over installFolder + target.
class LocalCopyTask : public LocalTaskBase {
public:
    bool Execute() override;
};

// Deletes installFolder + source (a missing file counts as deleted).
class LocalDeleteTask : public LocalTaskBase {
public:
    bool Execute() override;
};

// Deletes installFolder + target, then copies downloadFolder + source there.
class LocalReplaceTask : public LocalTaskBase {
public:
    bool Execute() override;
};
