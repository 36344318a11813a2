#pragma once
// The tasks that change the installation folder: copy, delete and replace one file.

#include "core/task.h"

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
};
