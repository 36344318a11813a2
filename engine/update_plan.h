#pragma once
// The update plan: a root task with four stages (download, decompression, local set-up,
// finish) and the plan builder that fills them from the two file lists.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/task.h"

class LocalFileList;
class LocalTaskBase;
class ServerFileList;
class TaskManager;

// Stage 1: the downloads; each child gets downRetry attempts.
class OrvDownloadTask : public OrvTaskSetTask {
public:
    void Prepare() override;
    void OnSucceeded() override;
    void MarkLastAttempt() override {}
    bool OnFailed() override;

    std::int32_t total = 0;  // sum of the children's expected sizes
};

// Stage 2: the packages to unpack (compressed mode only).
class OrvUncompressTask : public OrvTaskSetTask {
public:
    void Prepare() override;
    void MarkLastAttempt() override {}
    bool OnFailed() override;
    // Starts the next package on a second thread while this one unpacks.
    void BeforeChild(std::size_t index) override;
    // Waits for a package started ahead that no task took (a stage that stopped early).
    void OnAfter() override;
};

// Stage 3: replace, copy and delete in the installation folder; 5 attempts each.
class OrvLocalsetTask : public OrvTaskSetTask {
public:
    void Prepare() override;
    void MarkLastAttempt() override {}
    bool OnFailed() override;
    // Writes the copies of the next tasks ahead, a batch at a time, and puts them on disk
    // together; each task then renames its copy into place.
    void BeforeChild(std::size_t index) override;
    // Removes the prepared copies that no task used (a stage that stopped early).
    void OnAfter() override;

private:
    std::size_t preparedUpTo_ = 0;          // the children before it have had their chance
    bool preparing_ = true;                 // false once a copy could not be written ahead
    std::vector<LocalTaskBase*> prepared_;  // the tasks whose copies were written ahead
};

// Stage 4: the two manifests move into the installation folder.
class OrvFinishTask : public OrvTaskSetTask {
public:
    void Prepare() override;
    bool OnFailed() override { return false; }
};

// The root: its children are the four stages in order; it does not prepare them (each stage
// prepares itself when it runs).
class OrvUpdateTask : public OrvTaskSetTask {
public:
    OrvUpdateTask();
    void Prepare() override {}

    OrvDownloadTask download;
    OrvUncompressTask uncompress;
    OrvLocalsetTask localset;
    OrvFinishTask finish;
};

// The target name of the replace task for a server path: the updater's own executable and its
// two libraries are written beside the running ones.
std::string ReplaceTargetName(std::string_view path);

// Whether the server's list would take the installation apart: it is empty while the installed
// list is not, or it drops the browser "orvel.exe" that the installed list holds. Such a list is
// a broken or hostile reply, never a release.
bool WouldEmptyInstallation(const LocalFileList& local, const ServerFileList& server);

// Compares the lists entry by entry and builds the plan of one run.
std::unique_ptr<OrvUpdateTask> BuildUpdatePlan(LocalFileList& local, ServerFileList& server,
                                               TaskManager& taskManager);
