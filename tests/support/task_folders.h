#pragma once
// An installation folder and two private work folders for tests of the tasks, wired into the
// context that every task copies when it is built.

#include <filesystem>

#include "config/path_store.h"
#include "core/manager_context.h"
#include "platform/files.h"
#include "platform/text_codepage.h"
#include "tests/support/temp_folder.h"

namespace testsupport {

// Points a path store at the three folders as the updater lays them out, and makes the work
// folders private to their user, as the path store's own folders are.
inline void PointAt(PathStore& paths, const TempFolder& install, const TempFolder& download,
                    const TempFolder& compressed) {
    // Made again, still empty, the way the updater makes them: on Windows privacy is an access
    // list, which the folder's permission bits do not set.
    for (const TempFolder* folder : {&download, &compressed}) {
        std::filesystem::remove(folder->path());
        platform::CreatePrivateFolder(platform::Utf8ToUtf16(folder->path().u8string()));
    }
    paths.installFolder = install.Narrow();
    paths.downloadFolder = download.Narrow();
    paths.compressedFolder = compressed.Narrow();
    paths.downloadFileListPath = paths.downloadFolder + "filelist.update";
    paths.installFileListPath = paths.installFolder + "filelist.update";
    paths.downloadNoticePath = paths.downloadFolder + "fldz.update";
    paths.installNoticePath = paths.installFolder + "fldz.update";
}

// Fresh folders in the manager's context for the tasks a test builds; put back at the end.
class TaskFolders {
public:
    TaskFolders() : saved_(UpdateManagerContext().paths) {
        PointAt(paths, install, download, compressed);
        UpdateManagerContext().paths = &paths;
    }
    TaskFolders(const TaskFolders&) = delete;
    TaskFolders& operator=(const TaskFolders&) = delete;
    ~TaskFolders() { UpdateManagerContext().paths = saved_; }

    TempFolder install{"install"};
    TempFolder download{"download"};
    TempFolder compressed{"compressed"};
    PathStore paths;

private:
    PathStore* saved_;
};

}  // namespace testsupport
