#include "tests/app/fixtures.h"

#include <gtest/gtest.h>

#include "tests/support/process_settings.h"
#include "tests/support/sample_data.h"
#include "tests/support/temp_folder.h"
#include "tests/support/wait.h"

namespace e2e {

void WriteFiles(const fs::path& root, const Files& files) {
    for (const auto& [relative, content] : files) {
        testsupport::WriteFile(root / fs::u8path(relative), content);
    }
}

Files ReadFiles(const fs::path& root) {
    Files files;
    if (!fs::exists(root)) {
        return files;
    }
    for (const auto& item : fs::recursive_directory_iterator(root)) {
        if (item.is_regular_file()) {
            // Textually: a test may read a tree that the updater is changing, whose files come and
            // go between the listing and the read.
            files[item.path().lexically_relative(root).generic_u8string()] =
                testsupport::ReadFile(item.path());
        }
    }
    return files;
}

void BuildTree(const fs::path& from, const fs::path& out, const std::string& baseUrl,
               const TreeOptions& options) {
    testsupport::ChildOptions child;
    child.program = ORVRELEASE_EXE;
    child.arguments = {"build",
                       "--from",
                       from.string(),
                       "--out",
                       out.string(),
                       "--version",
                       options.version,
                       "--id",
                       options.id,
                       "--base-url",
                       baseUrl,
                       "--homepage",
                       options.homepage,
                       "--downretry",
                       std::to_string(options.downretry),
                       "--downtime",
                       std::to_string(options.downtime)};
    for (const std::string& notice : options.notices) {
        child.arguments.push_back("--notice");
        child.arguments.push_back(notice);
    }
    if (!options.packages) {
        child.arguments.push_back("--no-packages");
    }
    if (!options.signKey.empty()) {
        child.arguments.push_back("--sign-key");
        child.arguments.push_back(options.signKey.string());
    }
    const testsupport::ChildResult result = testsupport::RunChild(child, std::chrono::seconds(120));
    ASSERT_EQ(result.exitStatus, 0) << "started " << result.started << ", timed out "
                                    << result.timedOut << ", signal " << result.signal << "\n"
                                    << result.standardError;
}

Release MakeRelease(const fs::path& root, const std::string& name, const Files& files,
                    const std::string& baseUrl, const TreeOptions& options) {
    Release release;
    release.files = files;
    release.folder = root / name / "release";
    release.tree = root / name / "tree";
    fs::create_directories(release.folder);
    WriteFiles(release.folder, files);
    BuildTree(release.folder, release.tree, baseUrl, options);
    return release;
}

Installation::Installation(const fs::path& root, const fs::path& updater)
    : folder(root / "Orvel"), tmp(root / "tmp") {
    fs::create_directories(folder);
    fs::create_directories(tmp);
    fs::copy_file(updater.empty() ? fs::path(ORVUPDATE_EXE) : updater, folder / "orvupdate.exe");
#ifdef BROWSER_STANDIN_EXE
    fs::copy_file(BROWSER_STANDIN_EXE, folder / "orvel.exe");
#else
    testsupport::WriteExecutable(
        folder / "orvel.exe",
        "#!/bin/sh\necho \"$0 $#\" >> \"$(dirname \"$0\")/browser-started.log\"\n");
#endif
}

void Installation::Install(const Release& release) {
    WriteFiles(folder, release.files);
    for (const char* manifest : {"filelist.update", "fldz.update"}) {
        fs::copy_file(release.tree / "files" / manifest, folder / manifest,
                      fs::copy_options::overwrite_existing);
    }
}

testsupport::ChildOptions Installation::RunOptions(const std::string& serviceHost,
                                                   const std::string& input) const {
    testsupport::ChildOptions child;
    child.program = (folder / "orvupdate.exe").string();
    child.environment = {{testsupport::kTemporaryFolderVariable, tmp.u8string()},
                         {"ORVUPDATE_SERVICE_HOST", serviceHost},
                         {"ORVUPDATE_UI", "text"}};
    child.unsetEnvironment = {"DISPLAY", "WAYLAND_DISPLAY"};
    child.standardInput = input;
    return child;
}

testsupport::ChildResult Installation::Run(const std::string& serviceHost, const std::string& input,
                                           std::chrono::milliseconds limit) const {
    return testsupport::RunChild(RunOptions(serviceHost, input), limit);
}

int Installation::WaitForBrowserStarts(int expected) const {
    const auto limit = expected > 0 ? std::chrono::seconds(20) : std::chrono::seconds(1);
    // With none expected, wait the whole second: a wrong start must have time to be recorded.
    return testsupport::WaitForLines(folder / "browser-started.log", expected > 0 ? expected : 1,
                                     limit);
}

Files Installation::Contents() const {
    Files files = ReadFiles(folder);
    for (const char* own :
         {"orvupdate.exe", "orvel.exe", "browser-started.log", "filelist.update", "fldz.update"}) {
        files.erase(own);
    }
    return files;
}

VirtualDisplay::VirtualDisplay() {
    if (!fs::exists("/usr/bin/Xvfb")) {
        return;
    }
    testsupport::ChildOptions options;
    options.program = "/usr/bin/Xvfb";
    options.arguments = {"-displayfd", "1", "-screen", "0", "1280x800x24", "-nolisten", "tcp"};
    server_ = std::make_unique<testsupport::RunningChild>(options);
    const std::optional<std::string> number = server_->ReadLine(std::chrono::seconds(20));
    if (number && !number->empty()) {
        name_ = ":" + *number;
    }
}

bool IsEmptyFolder(const fs::path& path) {
    return fs::is_directory(path) && fs::is_empty(path);
}

std::string Bytes(std::size_t size, unsigned seed) {
    return testsupport::SampleBytes(size, seed, 100);
}

}  // namespace e2e
