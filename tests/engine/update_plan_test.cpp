// The plan builder: which tasks each stage receives for the entries of both lists and the files
// on disk.

#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "config/file_list.h"
#include "engine/update_plan.h"
#include "local/local_tasks.h"
#include "package/uncompress_task.h"
#include "tests/engine/test_support.h"
#include "transfer/download_task.h"

namespace {

using enginetest::ManagerOnFolders;

struct Entry {
    Entry(std::string path_, std::string md5_, std::int32_t size_ = 0, std::string zxPath_ = {},
          std::int32_t zxSize_ = 0)
        : path(std::move(path_)),
          md5(std::move(md5_)),
          size(size_),
          zxPath(std::move(zxPath_)),
          zxSize(zxSize_) {}

    std::string path;
    std::string md5;
    std::int32_t size = 0;
    std::string zxPath;
    std::int32_t zxSize = 0;
};

template <class List>
void Fill(List& list, const std::vector<Entry>& entries) {
    for (const Entry& e : entries) {
        FileInfoItem* item = list.Add(e.path);
        ASSERT_NE(item, nullptr) << e.path;
        item->md5 = list.Keep(e.md5);
        item->size = e.size;
        item->zxPath = list.Keep(e.zxPath);
        item->zxSize = e.zxSize;
    }
}

// One line per task, naming its kind, names, folder, size and entry.
class Describer {
public:
    explicit Describer(const PathStore& paths) : paths_(paths) {}

    std::vector<std::string> Stage(const OrvTaskSetTask& stage) const {
        std::vector<std::string> lines;
        for (XTask* child : stage.children) {
            lines.push_back(Task(child));
        }
        return lines;
    }

private:
    std::string Task(XTask* task) const {
        if (auto* d = dynamic_cast<DownloadTask*>(task)) {
            return "download " + d->source + " into " + Folder(d->localFolder) + " size " +
                   std::to_string(d->expectedSize) + " shown " + d->displayName +
                   (d->verifyDigest ? " checked" : "") + Of(d->entry);
        }
        if (auto* u = dynamic_cast<UncompressTask*>(task)) {
            return "uncompress " + u->source + " to " + u->target + Of(u->entry);
        }
        if (auto* r = dynamic_cast<LocalReplaceTask*>(task)) {
            return "replace " + r->source + " to " + r->target + Of(r->entry);
        }
        if (auto* c = dynamic_cast<LocalCopyTask*>(task)) {
            return "copy " + c->source + " to " + c->target + Of(c->entry);
        }
        if (auto* x = dynamic_cast<LocalDeleteTask*>(task)) {
            return "delete " + x->source + (x->target.empty() ? "" : " ?" + x->target) +
                   Of(x->entry);
        }
        return "unknown task";
    }
    std::string Folder(const std::string& folder) const {
        if (folder == paths_.downloadFolder) {
            return "download";
        }
        if (folder == paths_.compressedFolder) {
            return "compressed";
        }
        return "elsewhere:" + folder;
    }
    static std::string Of(const FileInfoItem* entry) {
        return entry == nullptr ? "" : " of " + std::string(entry->path);
    }

    const PathStore& paths_;
};

using Lines = std::vector<std::string>;

TEST(PlanBuilder, TasksOfEachStage) {
    struct Case {
        const char* what;
        bool compressed;
        std::vector<Entry> server;
        std::vector<Entry> local;
        std::vector<std::string> onDisk;  // below the installation folder
        Lines download, uncompress, localset;
        std::int32_t total;
    };
    const Case cases[] = {
        {"new file, plain",
         false,
         {{"a.txt", "11", 100, "a.lz", 40}},
         {},
         {},
         {"download a.txt into download size 100 shown a.txt checked of a.txt"},
         {},
         {"replace a.txt to a.txt"},
         100},
        {"new file, compressed",
         true,
         {{"a.txt", "11", 100, "pk\\a.lz", 40}},
         {},
         {},
         {"download pk\\a.lz into compressed size 40 shown a.txt of a.txt"},
         {"uncompress pk\\a.lz to a.txt of a.txt"},
         {"replace a.txt to a.txt"},
         40},
        {"known but missing from the folder: copied, even the updater itself",
         false,
         {{"sub\\b.dll", "22", 7}, {"orvupdate.exe", "33", 9}},
         {{"sub\\b.dll", "22"}, {"orvupdate.exe", "33"}},
         {},
         {"download sub\\b.dll into download size 7 shown sub\\b.dll checked of sub\\b.dll",
          "download orvupdate.exe into download size 9 shown orvupdate.exe checked of "
          "orvupdate.exe"},
         {},
         {"copy sub\\b.dll to sub\\b.dll of sub\\b.dll",
          "copy orvupdate.exe to orvupdate.exe of orvupdate.exe"},
         16},
        {"changed digest replaced; same digest left alone whatever its size",
         false,
         {{"c.txt", "new", 5}, {"d.txt", "same", 999}},
         {{"c.txt", "old", 5}, {"d.txt", "same", 1}},
         {"c.txt", "d.txt"},
         {"download c.txt into download size 5 shown c.txt checked of c.txt"},
         {},
         {"replace c.txt to c.txt"},
         5},
        {"digests differing only in case differ",
         false,
         {{"e.txt", "ABCDEF", 3}},
         {{"e.txt", "abcdef", 3}},
         {"e.txt"},
         {"download e.txt into download size 3 shown e.txt checked of e.txt"},
         {},
         {"replace e.txt to e.txt"},
         3},
        {"the updater and its libraries are written beside themselves, by exact path",
         false,
         {{"orvupdate.exe", "1", 1},
          {"msvcr100.dll", "1", 1},
          {"libcurl.dll", "1", 1},
          {"bin\\libcurl.dll", "1", 1},
          {"ORVUPDATE.EXE", "1", 1}},
         {},
         {},
         {"download orvupdate.exe into download size 1 shown orvupdate.exe checked of "
          "orvupdate.exe",
          "download msvcr100.dll into download size 1 shown msvcr100.dll checked of "
          "msvcr100.dll",
          "download libcurl.dll into download size 1 shown libcurl.dll checked of libcurl.dll",
          "download bin\\libcurl.dll into download size 1 shown bin\\libcurl.dll checked of "
          "bin\\libcurl.dll",
          "download ORVUPDATE.EXE into download size 1 shown ORVUPDATE.EXE checked of "
          "ORVUPDATE.EXE"},
         {},
         {"replace orvupdate.exe to orvupdate_new.exe", "replace msvcr100.dll to msvcr100_new.dll",
          "replace libcurl.dll to libcurl_new.dll", "replace bin\\libcurl.dll to bin\\libcurl.dll",
          "replace ORVUPDATE.EXE to ORVUPDATE.EXE"},
         5},
        {"entries the server dropped are deleted after the other local tasks, in local order",
         false,
         {{"keep.txt", "k", 1}, {"new.txt", "n", 2}},
         {{"z.txt", "z"}, {"keep.txt", "k"}, {"a.txt", "a"}},
         {"keep.txt", "z.txt"},
         {"download new.txt into download size 2 shown new.txt checked of new.txt"},
         {},
         {"replace new.txt to new.txt", "delete z.txt", "delete a.txt"},
         2},
        {"an empty server list deletes every local entry",
         true,
         {},
         {{"x.txt", "1"}, {"y\\z.txt", "2"}},
         {"x.txt"},
         {},
         {},
         {"delete x.txt", "delete y\\z.txt"},
         0},
        {"files in neither list are not planned",
         false,
         {{"same.txt", "s", 1}},
         {{"same.txt", "s"}},
         {"same.txt", "stray.txt", "orvupdate.exe"},
         {},
         {},
         {},
         0},
        {"the total saturates and negative sizes count nothing",
         false,
         {{"big1", "1", std::numeric_limits<std::int32_t>::max()},
          {"big2", "1", 10},
          {"neg", "1", -5}},
         {},
         {},
         {"download big1 into download size 2147483647 shown big1 checked of big1",
          "download big2 into download size 10 shown big2 checked of big2",
          "download neg into download size -5 shown neg checked of neg"},
         {},
         {"replace big1 to big1", "replace big2 to big2", "replace neg to neg"},
         std::numeric_limits<std::int32_t>::max()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ManagerOnFolders state;
        state.manager.serverConfig.compressed = c.compressed;
        for (const std::string& file : c.onDisk) {
            testsupport::WriteFile(state.install / file, "on disk");
        }
        LocalFileList local;
        ServerFileList server;
        Fill(local, c.local);
        Fill(server, c.server);

        const std::unique_ptr<OrvUpdateTask> root =
            BuildUpdatePlan(local, server, *state.manager.taskManager);

        const Describer describe(state.manager.pathStore);
        EXPECT_EQ(describe.Stage(root->download), c.download);
        EXPECT_EQ(describe.Stage(root->uncompress), c.uncompress);
        EXPECT_EQ(describe.Stage(root->localset), c.localset);
        EXPECT_EQ(describe.Stage(root->finish), (Lines{"replace filelist.update to filelist.update",
                                                       "replace fldz.update to fldz.update"}));
        EXPECT_EQ(root->download.total, c.total);
        // Entries point into the server list, which outlives the plan.
        for (XTask* child : root->download.children) {
            const FileInfoItem* entry = dynamic_cast<OrvTask*>(child)->entry;
            EXPECT_EQ(entry, server.Find(entry->path));
        }
    }
}

TEST(PlanBuilder, RootRunsTheFourStagesInOrder) {
    ManagerOnFolders state;
    LocalFileList local;
    ServerFileList server;
    const std::unique_ptr<OrvUpdateTask> root =
        BuildUpdatePlan(local, server, *state.manager.taskManager);
    const std::vector<XTask*> stages = {&root->download, &root->uncompress, &root->localset,
                                        &root->finish};
    EXPECT_EQ(root->children, stages);
    EXPECT_EQ(root->attempts, 1);
}

TEST(PlanBuilder, ReplaceTargetNames) {
    const std::pair<const char*, const char*> cases[] = {
        {"orvupdate.exe", "orvupdate_new.exe"},
        {"msvcr100.dll", "msvcr100_new.dll"},
        {"libcurl.dll", "libcurl_new.dll"},
        {"bin\\libcurl.dll", "bin\\libcurl.dll"},
        {"Libcurl.dll", "Libcurl.dll"},
        {"libcurl.dll ", "libcurl.dll "},
        {"orvel.exe", "orvel.exe"},
        {"", ""},
    };
    for (const auto& [path, target] : cases) {
        EXPECT_EQ(ReplaceTargetName(path), target) << path;
    }
}

TEST(PlanBuilder, AServerListThatWouldEmptyTheInstallationIsRefused) {
    const struct {
        const char* name;
        std::vector<Entry> installed;
        std::vector<Entry> offered;
        bool refused;
    } cases[] = {
        {"empty list, something installed", {{"a.dll", "1"}}, {}, true},
        {"empty list, nothing installed", {}, {}, false},
        {"the browser dropped", {{"orvel.exe", "1"}, {"a.dll", "1"}}, {{"a.dll", "2"}}, true},
        {"the browser kept", {{"orvel.exe", "1"}}, {{"orvel.exe", "2"}}, false},
        {"the browser was never listed", {{"a.dll", "1"}}, {{"b.dll", "1"}}, false},
        {"other files dropped", {{"orvel.exe", "1"}, {"a.dll", "1"}}, {{"orvel.exe", "1"}}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ManagerOnFolders state;
        LocalFileList installed;
        ServerFileList offered;
        Fill(installed, c.installed);
        Fill(offered, c.offered);
        EXPECT_EQ(WouldEmptyInstallation(installed, offered), c.refused);
    }
}

}  // namespace
