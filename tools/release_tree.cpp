#include "tools/release_tree.h"

#include <system_error>

#include "core/release_signing.h"
#include "platform/files.h"
#include "platform/text_codepage.h"
#include "tools/path_inside.h"
#include "tools/release_documents.h"
#include "tools/release_pack.h"
#include "tools/release_paths.h"

namespace release {
namespace {

// A command-line text in GBK, or an error naming the option.
std::string OptionInGbk(const char* option, const std::string& utf8) {
    GbkText converted = ToGbkExactly(utf8);
    if (!converted.ok) {
        Fail(std::string(option) + " " + Printable(utf8) + " " + converted.problem);
    }
    return converted.gbk;
}

fs::path Resolved(const fs::path& path) {
    std::error_code error;
    fs::path absolute = fs::absolute(path, error);
    if (error) {
        Fail(Printable(ToUtf8(path)) + ": " + error.message());
    }
    fs::path resolved = fs::weakly_canonical(absolute, error);
    return error ? absolute.lexically_normal() : resolved;
}

bool IsEarlierTree(const fs::path& folder) {
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (name != "serviceAddress" && name != kFilesFolder && name != kPackagesFolder) {
            return false;
        }
    }
    return !error && fs::is_regular_file(folder / kServiceReplyPath, error) &&
           fs::is_regular_file(folder / kFilesFolder / kFileListName, error) &&
           fs::is_regular_file(folder / kFilesFolder / kNoticeName, error);
}

struct CheckedTexts {
    std::string version, id, baseUrl, homepage;
    std::vector<std::string> notices;
};

CheckedTexts CheckOptions(const TreeOptions& options) {
    CheckedTexts texts;
    if (options.version.empty()) {
        Fail("--version is empty");
    }
    if (options.id.empty()) {
        Fail("--id is empty");
    }
    texts.version = OptionInGbk("--version", options.version);
    texts.id = OptionInGbk("--id", options.id);
    const std::string& base = options.baseUrl;
    const bool web = base.rfind("http://", 0) == 0 || base.rfind("https://", 0) == 0;
    if (!web || base.back() != '/' || HasControlCharacter(base) ||
        base.find(' ') != std::string::npos) {
        Fail("--base-url " + Printable(base) +
             " must be an http:// or https:// address without blanks that ends with \"/\"");
    }
    texts.baseUrl = OptionInGbk("--base-url", base);
    if (HasControlCharacter(options.homepage)) {
        Fail("--homepage " + Printable(options.homepage) + " contains a control character");
    }
    texts.homepage = OptionInGbk("--homepage", options.homepage);
    for (const std::string& notice : options.notices) {
        texts.notices.push_back(OptionInGbk("--notice", notice));
    }
    if (options.downTime < 0) {
        Fail("--downtime must be 0 (no limit) or a number of seconds");
    }
    if (options.downRetry < 1) {
        Fail("--downretry must be at least 1");
    }
    return texts;
}

// Refuses an output that would overwrite something that is not an earlier tree, or that lies
// inside the input (or the input inside it).
void CheckFolders(const TreeOptions& options) {
    std::error_code error;
    if (!fs::is_directory(options.from, error)) {
        Fail("--from " + Printable(ToUtf8(options.from)) + " is not a folder");
    }
    if (options.out.empty() || options.out.filename().empty() || options.out.filename() == "." ||
        options.out.filename() == "..") {
        Fail("--out " + Printable(ToUtf8(options.out)) + " must name a folder");
    }
    const fs::path from = Resolved(options.from);
    const fs::path out = Resolved(options.out);
    if (IsInside(out, from)) {
        Fail("--out " + Printable(ToUtf8(options.out)) + " lies inside --from " +
             Printable(ToUtf8(options.from)));
    }
    if (IsInside(from, out)) {
        Fail("--from " + Printable(ToUtf8(options.from)) + " lies inside --out " +
             Printable(ToUtf8(options.out)));
    }
    const fs::file_status status = fs::symlink_status(options.out, error);
    if (!fs::exists(status)) {
        return;
    }
    if (!fs::is_directory(status)) {
        Fail("--out " + Printable(ToUtf8(options.out)) + " exists and is not a folder");
    }
    if (!fs::is_empty(options.out, error) && !IsEarlierTree(options.out)) {
        Fail("--out " + Printable(ToUtf8(options.out)) +
             " is neither empty nor an earlier update tree; choose another folder");
    }
}

fs::path CreateSibling(const fs::path& out, const std::string& suffix) {
    const fs::path parent = out.parent_path().empty() ? fs::path(".") : out.parent_path();
    std::error_code error;
    fs::create_directories(parent, error);
    std::u16string created;
    if (error || !platform::CreateUniqueFolder(
                     platform::Utf8ToUtf16(ToUtf8(parent)),
                     platform::Utf8ToUtf16(ToUtf8(out.filename()) + suffix), created)) {
        Fail(Printable(ToUtf8(parent)) + ": cannot create a folder there");
    }
    return FromUtf8(platform::Utf16ToUtf8(created));
}

// Moves the finished tree into place; an earlier tree is moved aside first and removed last.
void MoveIntoPlace(const fs::path& partial, const fs::path& out) {
    std::error_code error;
    fs::path aside;
    if (fs::exists(fs::symlink_status(out, error))) {
        aside = CreateSibling(out, ".old-");
        fs::rename(out, aside, error);  // replaces the empty placeholder
        if (error) {
            fs::remove(aside, error);
            Fail(Printable(ToUtf8(out)) + ": cannot be replaced: " + error.message());
        }
    }
    fs::rename(partial, out, error);
    if (error) {
        const std::string reason = error.message();
        if (!aside.empty()) {
            fs::rename(aside, out, error);
        }
        Fail(Printable(ToUtf8(out)) + ": cannot be created: " + reason);
    }
    if (!aside.empty()) {
        fs::remove_all(aside, error);
    }
}

}  // namespace

TreeSummary BuildReleaseTree(const TreeOptions& given) {
    TreeOptions options = given;
    // "tree/" names the folder "tree".
    if (!options.out.has_filename()) {
        options.out = options.out.parent_path();
    }
    const CheckedTexts texts = CheckOptions(options);
    CheckFolders(options);
    TreeSummary summary;
    summary.files = ScanReleaseFolder(options.from, options.packages, &summary.skipped);

    const fs::path partial = CreateSibling(options.out, ".partial-");
    try {
        // Readable by a web server running as another user.
        std::error_code ignored;
        fs::permissions(partial,
                        fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                            fs::perms::others_read | fs::perms::others_exec,
                        ignored);
        const std::vector<PackedFile> packed = PackAll(summary.files, partial, options);
        const std::string fileList =
            FileListJson(summary.files, packed, options.signingKey.has_value());
        const std::string notice = NoticeJson(texts.id, texts.version, texts.notices);
        std::optional<platform::Bytes> signature;
        if (options.signingKey) {
            const platform::Bytes message = ReleaseSignedMessage(notice, fileList);
            signature = platform::Sign(*options.signingKey, message.data(), message.size());
            if (message.empty() || !signature) {
                Fail("the release cannot be signed with this key");
            }
        }
        std::vector<std::string> folders = {kFilesFolder};
        if (options.packages) {
            folders.push_back(kPackagesFolder);
        }
        for (const std::string& folder : folders) {
            WriteWholeFile(partial / folder / kFileListName, fileList);
            WriteWholeFile(partial / folder / kNoticeName, notice);
            if (signature) {
                WriteWholeFile(partial / folder / kReleaseSignatureName,
                               std::string(signature->begin(), signature->end()));
            }
        }
        WriteWholeFile(partial / kServiceReplyPath,
                       ServiceReplyJson(texts.baseUrl, texts.homepage, options.packages,
                                        options.downTime, options.downRetry));
        if (options.stopRequested && options.stopRequested()) {
            throw BuildStopped("stopped");
        }
        MoveIntoPlace(partial, options.out);
        for (std::size_t i = 0; i < summary.files.size(); ++i) {
            summary.totalSize += static_cast<std::uint64_t>(summary.files[i].size);
            summary.totalPackageSize += static_cast<std::uint64_t>(packed[i].zxSize);
        }
    } catch (...) {
        std::error_code ignored;
        fs::remove_all(partial, ignored);
        throw;
    }
    return summary;
}

}  // namespace release
