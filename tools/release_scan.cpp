#include "tools/release_tree.h"

#include <algorithm>
#include <fstream>
#include <set>
#include <system_error>
#include <utility>

#include "core/path_functions.h"
#include "platform/text_codepage.h"
#include "tools/release_paths.h"

namespace release {
namespace {

void CheckRelativePath(const std::string& relative, const std::string& gbk) {
    const std::string shown = Printable(relative);
    if (HasControlCharacter(relative)) {
        Fail(shown + ": the path contains a control character");
    }
    if (relative.find('\\') != std::string::npos) {
        Fail(shown + ": the path contains \"\\\", which the updater reads as a folder separator");
    }
    // A GBK trail byte 0x5C would be turned into "/" by the updater's escaping of the path,
    // so it would ask for a file that does not exist.
    if (gbk.find('\\') != std::string::npos) {
        Fail(shown +
             ": a character of the path is written in GBK with the byte 0x5C (\"\\\"), which "
             "the updater reads as a folder separator; rename it");
    }
    // One such entry makes the updater refuse the whole file list, so no installation could
    // update.
    const char* reason = "a name it cannot use";
    switch (FindRelativePathFault(gbk)) {
        case RelativePathFault::None:
            return;
        case RelativePathFault::NotRelative:
            reason = "its start reads as a drive, such as \"c:\"";
            break;
        case RelativePathFault::BadSegment:
            reason = "a name of dots and blanks only";
            break;
        case RelativePathFault::Colon:
            reason = "\":\", which Windows reads as a stream of the file";
            break;
        case RelativePathFault::ForbiddenCharacter:
            reason = "a character that Windows forbids in names: < > \" | ? *";
            break;
        case RelativePathFault::DeviceName:
            reason =
                "a name that Windows reserves for a device, with any extension: CON, PRN, AUX, "
                "NUL, COM1 to COM9, LPT1 to LPT9";
            break;
        case RelativePathFault::TrailingDotOrBlank:
            reason = "a name that ends in a dot or a blank, which Windows drops";
            break;
    }
    Fail(shown + ": the updater would refuse the file list for this path (" + reason +
         "); rename it");
}

}  // namespace

GbkText ToGbkExactly(const std::string& utf8) {
    GbkText result;
    if (platform::Utf16ToUtf8(platform::Utf8ToUtf16(utf8)) != utf8) {
        result.problem = "is not valid UTF-8";
        return result;
    }
    // The converter puts "?" for what GBK lacks; only an exact way back proves the text whole.
    std::string gbk = platform::Utf8ToAnsi(utf8);
    if (platform::AnsiToUtf8(gbk) != utf8) {
        result.problem = "cannot be written in GBK";
        return result;
    }
    result.ok = true;
    result.gbk = std::move(gbk);
    return result;
}

std::string PackagePath(const std::string& gbkPath) {
    return gbkPath + ".lzma";
}

std::vector<ReleaseFile> ScanReleaseFolder(const fs::path& from, bool packages,
                                           std::vector<std::string>* skipped) {
    std::vector<ReleaseFile> files;
    std::vector<std::pair<fs::path, std::string>> pending = {{from, ""}};
    while (!pending.empty()) {
        const auto [folder, prefix] = pending.back();
        pending.pop_back();
        const std::string shownFolder = Printable(prefix.empty() ? ToUtf8(from) : prefix);
        std::error_code error;
        fs::directory_iterator it(folder, error);
        for (fs::directory_iterator end; !error && it != end; it.increment(error)) {
            const std::string name = ToUtf8(it->path().filename());
            const std::string relative = prefix.empty() ? name : prefix + "/" + name;
            const bool manifestName =
                prefix.empty() && (name == kFileListName || name == kNoticeName);
            const fs::file_status status = it->symlink_status(error);
            if (error) {
                break;
            }
            if (fs::is_symlink(status)) {
                Fail(Printable(relative) +
                     ": symbolic links are refused, not followed; put the file itself there");
            }
            if (fs::is_directory(status)) {
                if (manifestName) {
                    Fail(Printable(relative) + ": this name is reserved for a manifest");
                }
                pending.emplace_back(it->path(), relative);
                continue;
            }
            if (!fs::is_regular_file(status)) {
                Fail(Printable(relative) + ": not a regular file");
            }
            if (manifestName) {
                if (skipped) {
                    skipped->push_back(relative);
                }
                continue;
            }
            const GbkText gbk = ToGbkExactly(relative);
            if (!gbk.ok) {
                Fail(Printable(relative) + ": the path " + gbk.problem);
            }
            CheckRelativePath(relative, gbk.gbk);
            const std::uintmax_t size = it->file_size(error);
            if (error) {
                Fail(Printable(relative) + ": the size cannot be read: " + error.message());
            }
            if (size > kMaxFileSize) {
                Fail(Printable(relative) + ": " + std::to_string(size) +
                     " bytes; files must stay below 2 GiB (2147483648 bytes)");
            }
            if (!std::ifstream(it->path(), std::ios::binary)) {
                Fail(Printable(relative) + ": the file cannot be read");
            }
            ReleaseFile file;
            file.source = it->path();
            file.relativeUtf8 = relative;
            file.gbkPath = gbk.gbk;
            file.memberName = gbk.gbk;
            std::replace(file.memberName.begin(), file.memberName.end(), '/', '\\');
            file.zxPath = packages ? PackagePath(gbk.gbk) : std::string();
            file.size = static_cast<std::int32_t>(size);
            files.push_back(std::move(file));
        }
        if (error) {
            Fail(shownFolder + ": the folder cannot be read: " + error.message());
        }
    }
    std::sort(files.begin(), files.end(), [](const ReleaseFile& a, const ReleaseFile& b) {
        return a.memberName < b.memberName;
    });

    // "a" packs to "a.lzma", which must not also be a folder of another package ("a.lzma/b").
    if (packages) {
        std::set<std::string> folders;
        for (const ReleaseFile& file : files) {
            for (std::size_t slash = file.zxPath.find('/'); slash != std::string::npos;
                 slash = file.zxPath.find('/', slash + 1)) {
                folders.insert(file.zxPath.substr(0, slash));
            }
        }
        for (const ReleaseFile& file : files) {
            if (folders.count(file.zxPath) != 0) {
                Fail(Printable(file.relativeUtf8) + ": its package " +
                     Printable(file.relativeUtf8 + ".lzma") +
                     " would have the name of a folder of the input; rename one of them");
            }
        }
    }
    return files;
}

}  // namespace release
