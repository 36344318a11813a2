#pragma once
// End-to-end fixtures: release trees made by orvrelease, installation folders with the built
// orvupdate.exe and a stand-in browser, and runs of the updater through its text front end.

#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/child_process.h"

namespace e2e {

namespace fs = std::filesystem;

// Relative path (UTF-8, "/") to content.
using Files = std::map<std::string, std::string>;

void WriteFiles(const fs::path& root, const Files& files);
// Every regular file below root, by relative path.
Files ReadFiles(const fs::path& root);

struct TreeOptions {
    TreeOptions(std::string versionText, std::string releaseId)
        : version(std::move(versionText)), id(std::move(releaseId)) {}

    std::string version;
    std::string id;
    bool packages = true;
    std::vector<std::string> notices;
    std::string homepage = "http://www.orvel.example/";
    int downretry = 3;
    int downtime = 60;
    fs::path signKey;  // `--sign-key`, when not empty
};

// `orvrelease build` of a folder into out, for a tree served at baseUrl.
void BuildTree(const fs::path& from, const fs::path& out, const std::string& baseUrl,
               const TreeOptions& options);

// A release: its files written into root/name/release and its tree built into root/name/tree.
struct Release {
    Files files;
    fs::path folder;
    fs::path tree;
};
Release MakeRelease(const fs::path& root, const std::string& name, const Files& files,
                    const std::string& baseUrl, const TreeOptions& options);

// An installation folder with orvupdate.exe, a stand-in browser that records its starts in
// "browser-started.log", and a temporary folder of its own for the work folders.
class Installation {
public:
    // With an updater program other than the built orvupdate.exe, when one is given.
    explicit Installation(const fs::path& root, const fs::path& updater = {});

    // Writes the files of an installed version and the manifests of its release tree.
    void Install(const Release& release);

    // Runs orvupdate.exe with the text front end against a service host ("127.0.0.1:PORT").
    testsupport::ChildResult Run(const std::string& serviceHost, const std::string& input = "",
                                 std::chrono::milliseconds limit = std::chrono::seconds(120)) const;
    testsupport::ChildOptions RunOptions(const std::string& serviceHost,
                                         const std::string& input = "") const;

    // How often the browser was started. The updater does not wait for the browser, so this
    // waits up to 20 s for `expected` starts to be recorded; with 0 expected it gives a start
    // that should not happen a second to show.
    int WaitForBrowserStarts(int expected) const;
    // The installed files, without the updater, the browser stand-in, its log and the manifests.
    Files Contents() const;

    fs::path DownloadFolder() const { return tmp / "A092FC32oupd"; }
    fs::path CompressedFolder() const { return tmp / "orvupdatezx"; }

    fs::path folder;
    fs::path tmp;
};

// A virtual display of its own (Xvfb picks a free display number); "" when none could start.
class VirtualDisplay {
public:
    VirtualDisplay();
    const std::string& name() const { return name_; }  // ":N"

private:
    std::unique_ptr<testsupport::RunningChild> server_;
    std::string name_;
};

bool IsEmptyFolder(const fs::path& path);

// Deterministic pseudo-random bytes (noise, so packages of them stay large).
std::string Bytes(std::size_t size, unsigned seed);

}  // namespace e2e
