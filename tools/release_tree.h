#pragma once
// The release tool's tree builder: turns the folder of a new version into a static update tree
// that any HTTP server can serve.
//
// Layout of a tree (everything below is what the updater asks for):
//   serviceAddress/geturl_windows.php   the service-address reply
//   files/                              "downurl": the plain files under the GBK bytes of their
//                                       relative paths, "filelist.update", "fldz.update"
//   zx/                                 "downzxurl": one classic .lzma package per file under its
//                                       "zxpath", and the same two manifests (absent without
//                                       packages)
//   files/release.sig, zx/release.sig  with a signing key: the signature of both manifests

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/signature.h"

namespace release {

namespace fs = std::filesystem;

inline constexpr std::int32_t kDefaultDownTime = 60;  // seconds per file download
inline constexpr std::int32_t kDefaultDownRetry = 5;  // attempts of the download stage
// Files and packages must fit the updater's signed 32-bit sizes.
inline constexpr std::uint64_t kMaxFileSize = 0x7FFFFFFF;
// The updater holds one package's dictionary while it unpacks: 8 MiB keeps a whole update's
// memory small, and files larger than that lose only a little of their packing.
inline constexpr std::uint32_t kMinDictionarySize = 4096;
inline constexpr std::uint32_t kMaxDictionarySize = 8u << 20;

inline constexpr const char* kServiceReplyPath = "serviceAddress/geturl_windows.php";
inline constexpr const char* kFilesFolder = "files";
inline constexpr const char* kPackagesFolder = "zx";
inline constexpr const char* kFileListName = "filelist.update";
inline constexpr const char* kNoticeName = "fldz.update";

// Bad input, or a file that could not be read or written. The text names the file.
class ReleaseError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The build was abandoned because stopRequested said so.
class BuildStopped : public ReleaseError {
public:
    using ReleaseError::ReleaseError;
};

struct TreeOptions {
    fs::path from;  // the folder of the new version; file names on disk are UTF-8
    fs::path out;   // the tree; replaced only when it is missing, empty or an earlier tree
    // Texts as the command line gives them (UTF-8); the tree holds them in GBK.
    std::string version;
    std::string id;
    std::string baseUrl;  // public address of the tree, ends with "/"
    std::string homepage;
    std::vector<std::string> notices;
    std::int32_t downTime = kDefaultDownTime;
    std::int32_t downRetry = kDefaultDownRetry;
    bool packages = true;
    unsigned threads = 2;  // parallel package encoders
    // With a key, the list's entries carry "sha256" and both manifests are signed.
    std::optional<platform::SigningKey> signingKey;
    // Polled while files are written; true abandons the build (the tree is left unchanged).
    std::function<bool()> stopRequested;
};

// One file of the new version.
struct ReleaseFile {
    fs::path source;           // the file on disk
    std::string relativeUtf8;  // relative path with "/" as on disk
    std::string gbkPath;       // the same in GBK: the file's name below files/
    std::string memberName;    // the same with "\": its member name in "filelist.update"
    std::string zxPath;        // its package below zx/ ("" without packages)
    std::int32_t size = 0;
};

struct TreeSummary {
    std::vector<ReleaseFile> files;  // in manifest order
    std::uint64_t totalSize = 0;
    std::uint64_t totalPackageSize = 0;
    // Top-level "filelist.update" / "fldz.update" of the input: manifests of an installation,
    // replaced by the new ones rather than shipped as files.
    std::vector<std::string> skipped;
};

// Checks every option, scans the input and writes the tree into a sibling folder
// "<out>.partial-XXXXXX", which is renamed to out only when everything was written. Throws
// ReleaseError on bad input or a failed read or write (BuildStopped when stopped); out is then
// left as it was and the partial folder is removed.
TreeSummary BuildReleaseTree(const TreeOptions& options);

// Every regular file below from, checked and sorted by member name (unsigned bytes). Throws
// ReleaseError for a symbolic link (links are refused, never followed), a special file, an
// unreadable file or folder, a file of 2 GiB or more, or a path the updater cannot carry. The
// top-level manifests are left out and listed in skipped.
std::vector<ReleaseFile> ScanReleaseFolder(const fs::path& from, bool packages,
                                           std::vector<std::string>* skipped = nullptr);

// The package name of a file: its relative GBK path with "/" and ".lzma" appended.
std::string PackagePath(const std::string& gbkPath);

// The smallest power of two that holds the file, within the dictionary limits.
std::uint32_t PackageDictionarySize(std::uint64_t fileSize);

// The GBK form of a UTF-8 text, or an empty result and the reason when there is none.
struct GbkText {
    bool ok = false;
    std::string gbk;
    std::string problem;  // "is not valid UTF-8" or "cannot be written in GBK"
};
GbkText ToGbkExactly(const std::string& utf8);

}  // namespace release
