// Files on a POSIX system: every path becomes UTF-8 with "/" at the system call.

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <system_error>
#include <thread>
#include <unordered_set>
#include <vector>

#include "platform/files.h"
#include "platform/paths.h"
#include "platform/text_codepage.h"

namespace platform {
namespace {

std::string WithSlashes(std::string utf8) {
    std::replace(utf8.begin(), utf8.end(), '\\', '/');
    return utf8;
}

// "dir/" and "link/" would make the system look through a symbolic link; a deletion must see
// the link itself.
std::string WithoutTrailingSlashes(std::string path) {
    while (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    return path;
}

PathKind KindOfSystemPath(const std::string& path) {
    struct stat info;
    if (path.empty() || ::stat(path.c_str(), &info) != 0) {
        return PathKind::Missing;
    }
    return S_ISDIR(info.st_mode) ? PathKind::Folder : PathKind::File;
}

bool EndsWithExe(const std::string& path) {
    if (path.size() < 4) {
        return false;
    }
    std::string tail = path.substr(path.size() - 4);
    std::transform(tail.begin(), tail.end(), tail.begin(),
                   [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; });
    return tail == ".exe";
}

int OpenRetrying(const char* path, int flags, mode_t mode) {
    int fd;
    do {
        fd = ::open(path, flags | O_CLOEXEC, mode);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

void CloseFd(int& fd) {
    if (fd >= 0) {
        ::close(fd);
        fd = -1;
    }
}

long WriteFully(int fd, const void* data, std::size_t size) {
    const char* bytes = static_cast<const char*>(data);
    std::size_t done = 0;
    while (done < size) {
        const ssize_t written = ::write(fd, bytes + done, size - done);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            break;
        }
        if (written == 0) {
            break;
        }
        done += static_cast<std::size_t>(written);
    }
    if (done == 0 && size > 0) {
        return -1;
    }
    return static_cast<long>(done);
}

}  // namespace

std::string SystemPath(std::string_view ansiPath) {
    return WithSlashes(AnsiToUtf8(ansiPath));
}

std::string SystemPath(std::u16string_view widePath) {
    return WithSlashes(Utf16ToUtf8(widePath));
}

PathKind KindOf(std::string_view ansiPath) {
    return KindOfSystemPath(SystemPath(ansiPath));
}

PathKind KindOf(std::u16string_view widePath) {
    return KindOfSystemPath(SystemPath(widePath));
}

struct PathPresence::Listing {
    // Lists a folder (a system path ending in "/"); false when it cannot be listed or
    // searched, so that its paths are asked one by one.
    bool Read(const std::string& path) {
        folder = path;
        names.clear();
        DIR* dir = ::opendir(path.c_str());
        if (dir == nullptr) {
            return listed = false;
        }
        // Listing needs read permission, a path lookup search permission.
        listed = ::faccessat(::dirfd(dir), ".", X_OK, AT_EACCESS) == 0;
        errno = 0;
        while (listed) {
            const dirent* entry = ::readdir(dir);
            if (entry == nullptr) {
                listed = errno == 0;
                break;
            }
            // A link may dangle, and an unknown kind is asked for: the listing says only that
            // the name is there.
            names.emplace(entry->d_name, entry->d_type != DT_LNK && entry->d_type != DT_UNKNOWN);
        }
        ::closedir(dir);
        return listed;
    }

    std::string folder;  // the folder the names are of
    bool listed = false;
    std::map<std::string, bool, std::less<>> names;  // whether the name surely exists
    std::unordered_set<std::string> done;            // folders listed so far
};

PathPresence::PathPresence() : listing_(std::make_unique<Listing>()) {}

PathPresence::~PathPresence() = default;

bool PathPresence::Exists(std::string_view ansiPath) {
    const std::string path = SystemPath(ansiPath);
    const std::size_t slash = path.rfind('/');
    const std::string_view name =
        slash == std::string::npos ? std::string_view() : std::string_view(path).substr(slash + 1);
    if (name.empty() || name == "." || name == "..") {
        return KindOfSystemPath(path) != PathKind::Missing;
    }
    const std::string_view folder = std::string_view(path).substr(0, slash + 1);
    if (folder != listing_->folder) {
        // A folder met again after another is not listed again: a list in no folder order
        // would read each folder once per path.
        if (!listing_->done.emplace(folder).second) {
            return KindOfSystemPath(path) != PathKind::Missing;
        }
        listing_->Read(std::string(folder));
    }
    if (!listing_->listed) {
        return KindOfSystemPath(path) != PathKind::Missing;
    }
    const auto found = listing_->names.find(name);
    if (found == listing_->names.end()) {
        return false;
    }
    return found->second || KindOfSystemPath(path) != PathKind::Missing;
}

bool IsPrivateFolder(std::u16string_view widePath) {
    const std::string path = WithoutTrailingSlashes(SystemPath(widePath));
    struct stat info;
    return !path.empty() && ::lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode) &&
           info.st_uid == ::geteuid() && (info.st_mode & (S_IRWXG | S_IRWXO)) == 0;
}

namespace {

CreateFolderResult MakeFolder(std::u16string_view widePath, mode_t mode) {
    const std::string path = SystemPath(widePath);
    if (path.empty()) {
        return CreateFolderResult::Failed;
    }
    if (::mkdir(path.c_str(), mode) == 0) {
        return CreateFolderResult::Created;
    }
    return errno == EEXIST ? CreateFolderResult::AlreadyExists : CreateFolderResult::Failed;
}

}  // namespace

CreateFolderResult CreateOneFolder(std::u16string_view widePath) {
    return MakeFolder(widePath, 0777);
}

CreateFolderResult CreatePrivateFolder(std::u16string_view widePath) {
    return MakeFolder(widePath, 0700);
}

bool EmptyFolder(std::u16string_view widePath) {
    const std::string path = WithoutTrailingSlashes(SystemPath(widePath));
    struct stat info;
    if (path.empty() || ::lstat(path.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        return false;
    }
    std::error_code error;
    std::filesystem::directory_iterator entries(std::filesystem::path(path), error);
    bool emptied = !error;
    for (; !error && entries != std::filesystem::directory_iterator(); entries.increment(error)) {
        // remove_all deletes a link as a link and never enters a folder through one.
        std::error_code removal;
        std::filesystem::remove_all(entries->path(), removal);
        emptied = emptied && !removal;
    }
    return emptied && !error;
}

DeleteResult DeleteAt(std::u16string_view widePath, bool recursive) {
    const std::string path = WithoutTrailingSlashes(SystemPath(widePath));
    if (path.empty()) {
        return DeleteResult::NotFound;
    }
    struct stat info;
    if (::lstat(path.c_str(), &info) != 0) {
        return (errno == ENOENT || errno == ENOTDIR) ? DeleteResult::NotFound
                                                     : DeleteResult::Failed;
    }
    if (!S_ISDIR(info.st_mode)) {
        // Files and symbolic links (also links to folders) go alone.
        return ::unlink(path.c_str()) == 0 ? DeleteResult::Deleted : DeleteResult::Failed;
    }
    if (!recursive) {
        return ::rmdir(path.c_str()) == 0 ? DeleteResult::Deleted : DeleteResult::Failed;
    }
    // remove_all deletes symbolic links inside the tree without following them.
    std::error_code error;
    std::filesystem::remove_all(std::filesystem::path(path), error);
    return error ? DeleteResult::Failed : DeleteResult::Deleted;
}

namespace {

// Copies the rest of one open file into another: in the kernel where it can (no trip through
// this process, and a shared extent where the file system offers one), else through a buffer.
bool CopyContents(int in, int out) {
    for (;;) {
        const ssize_t copied = ::copy_file_range(in, nullptr, out, nullptr, 1 << 30, 0);
        if (copied > 0) {
            continue;
        }
        if (copied == 0) {
            return true;
        }
        if (errno == EINTR) {
            continue;
        }
        // Not offered between these files (another file system, an old kernel): the buffer
        // goes on from where the kernel stopped.
        if (errno != EXDEV && errno != ENOSYS && errno != EINVAL && errno != EOPNOTSUPP) {
            return false;
        }
        break;
    }
    std::vector<char> buffer(64 * 1024);
    for (;;) {
        const ssize_t got = ::read(in, buffer.data(), buffer.size());
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return got == 0;
        }
        if (WriteFully(out, buffer.data(), static_cast<std::size_t>(got)) != got) {
            return false;
        }
    }
}

}  // namespace

namespace {

// Writes a copy of from to its temporary beside to, with the mode the target takes; the open
// temporary, or -1 (and no temporary) when the copy fails.
int WriteTemporaryCopy(std::string_view fromAnsi, std::string_view toAnsi, std::string& temporary) {
    const std::string from = SystemPath(fromAnsi);
    const std::string to = WithoutTrailingSlashes(SystemPath(toAnsi));
    if (from.empty() || to.empty()) {
        return -1;
    }
    int in = OpenRetrying(from.c_str(), O_RDONLY, 0);
    if (in < 0) {
        return -1;
    }
    struct stat source;
    if (::fstat(in, &source) != 0 || !S_ISREG(source.st_mode)) {
        CloseFd(in);
        return -1;
    }

    // The temporary has a fixed name, so that one left by a killed run is replaced by the next
    // copy of the same target.
    temporary = SystemPath(CopyTemporaryPath(toAnsi));
    if (::unlink(temporary.c_str()) != 0 && errno != ENOENT) {
        CloseFd(in);
        return -1;
    }
    int out = OpenRetrying(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, 0600);
    if (out < 0) {
        CloseFd(in);
        return -1;
    }

    bool ok = CopyContents(in, out);
    CloseFd(in);
    const bool executable = EndsWithExe(to) || (source.st_mode & (S_IXUSR | S_IXGRP | S_IXOTH));
    ok = ok && ::fchmod(out, executable ? 0755 : 0644) == 0;
    if (!ok) {
        CloseFd(out);
        ::unlink(temporary.c_str());
        return -1;
    }
    return out;
}

}  // namespace

bool CopyWholeFile(std::string_view fromAnsi, std::string_view toAnsi) {
    // The copy is written beside the target, flushed to disk and renamed over it at the end:
    // a failed copy, a full disk or a crash leaves the old target whole (and a copy onto itself
    // cannot empty its own source).
    std::string temporary;
    const int out = WriteTemporaryCopy(fromAnsi, toAnsi, temporary);
    if (out < 0) {
        return false;
    }
    bool ok = ::fsync(out) == 0;
    ok = ::close(out) == 0 && ok;
    if (!ok) {
        ::unlink(temporary.c_str());
        return false;
    }
    return ReplaceWithCopy(toAnsi);
}

bool ReplaceWithCopy(std::string_view toAnsi) {
    const std::string to = WithoutTrailingSlashes(SystemPath(toAnsi));
    const std::string temporary = SystemPath(CopyTemporaryPath(toAnsi));
    if (to.empty() || ::rename(temporary.c_str(), to.c_str()) != 0) {
        ::unlink(temporary.c_str());
        return false;
    }
    return true;
}

namespace {

// The copies of a batch whose fsyncs wait at the same time.
constexpr std::size_t kFlushWaiters = 8;

}  // namespace

CopyBatch::~CopyBatch() {
    for (const Copy& copy : copies_) {
        int fd = static_cast<int>(copy.handle);
        CloseFd(fd);
        ::unlink(copy.temporary.c_str());
    }
}

bool CopyBatch::Supported() {
    return true;
}

bool CopyBatch::Add(std::string_view fromAnsi, std::string_view toAnsi) {
    std::string temporary;
    int out = WriteTemporaryCopy(fromAnsi, toAnsi, temporary);
    if (out < 0) {
        return false;
    }
    try {
        copies_.push_back(Copy{temporary, out});
    } catch (...) {
        CloseFd(out);
        ::unlink(temporary.c_str());
        throw;
    }
    // The disk starts on this copy now; Flush only waits for what is not written by then, and
    // the file system commits the copies' metadata together.
    ::sync_file_range(out, 0, 0, SYNC_FILE_RANGE_WRITE);
    return true;
}

std::vector<bool> CopyBatch::Flush() {
    const std::size_t count = copies_.size();
    // Every copy's data first, so that the file system has placed all of it when the first
    // fsync commits its records.
    for (const Copy& copy : copies_) {
        ::sync_file_range(
            static_cast<int>(copy.handle), 0, 0,
            SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE | SYNC_FILE_RANGE_WAIT_AFTER);
    }
    // Each copy still gets its own fsync, but several wait at once: the file system commits
    // their records together and the disk flushes its cache once for them, where one after
    // the other each waits for a commit and a cache flush of its own.
    std::vector<char> synced(count, 0);
    std::atomic<std::size_t> next{0};
    const auto syncSome = [this, &synced, &next, count] {
        for (std::size_t i; (i = next.fetch_add(1)) < count;) {
            synced[i] = ::fsync(static_cast<int>(copies_[i].handle)) == 0;
        }
    };
    std::vector<std::thread> helpers;
    try {
        for (std::size_t i = 1; i < std::min(count, kFlushWaiters); ++i) {
            helpers.emplace_back(syncSome);
        }
    } catch (...) {
        // Fewer waiters are only slower; the ones started are joined below.
    }
    syncSome();
    for (std::thread& helper : helpers) {
        helper.join();
    }

    std::vector<bool> flushed(count);
    for (std::size_t i = 0; i < count; ++i) {
        int fd = static_cast<int>(copies_[i].handle);
        const bool ok = ::close(fd) == 0 && synced[i];
        if (!ok) {
            ::unlink(copies_[i].temporary.c_str());
        }
        flushed[i] = ok;
    }
    copies_.clear();
    return flushed;
}

namespace {

// The descriptor that a File keeps in its portable handle.
int Fd(std::intptr_t handle) {
    return static_cast<int>(handle);
}

}  // namespace

bool File::Open(std::string_view ansiPath, Mode mode) {
    Close();
    const std::string path = SystemPath(ansiPath);
    if (path.empty()) {
        return false;
    }
    // A link at the path is never written through: it could send the bytes anywhere.
    int flags = O_RDONLY;
    if (mode == Mode::AppendOrCreate) {
        flags = O_WRONLY | O_CREAT | O_NOFOLLOW;
    } else if (mode == Mode::CreateTruncate) {
        flags = O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW;
    } else if (mode == Mode::CreatePrivate) {
        flags = O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW;
    }
    // Not blocking while opening: a pipe left at the path would otherwise wait for a peer forever.
    int fd =
        OpenRetrying(path.c_str(), flags | O_NONBLOCK, mode == Mode::CreatePrivate ? 0600 : 0666);
    if (fd < 0) {
        return false;
    }
    // A folder opens for reading on this system but not as a file; pipes and sockets are no files.
    struct stat info;
    if (::fstat(fd, &info) != 0 || S_ISDIR(info.st_mode) || S_ISFIFO(info.st_mode) ||
        S_ISSOCK(info.st_mode) || ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
        CloseFd(fd);
        return false;
    }
    if (mode == Mode::AppendOrCreate && ::lseek(fd, 0, SEEK_END) < 0) {
        CloseFd(fd);
        return false;
    }
    handle_ = fd;
    return true;
}

long File::Read(void* data, std::size_t size) {
    if (!IsOpen()) {
        return -1;
    }
    for (;;) {
        const ssize_t got = ::read(Fd(handle_), data, size);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        return static_cast<long>(got);
    }
}

long File::Write(const void* data, std::size_t size) {
    if (!IsOpen()) {
        return -1;
    }
    return WriteFully(Fd(handle_), data, size);
}

std::optional<std::uint64_t> File::Size() const {
    struct stat info;
    if (!IsOpen() || ::fstat(Fd(handle_), &info) != 0) {
        return std::nullopt;
    }
    return static_cast<std::uint64_t>(info.st_size);
}

bool File::Truncate() {
    // Back to the start as well, so that the next write does not leave a hole.
    return IsOpen() && ::ftruncate(Fd(handle_), 0) == 0 && ::lseek(Fd(handle_), 0, SEEK_SET) == 0;
}

void File::Close() {
    if (IsOpen()) {
        ::close(Fd(handle_));
        handle_ = -1;
    }
}

bool CreateUniqueFolder(std::u16string_view parent, std::u16string_view prefix,
                        std::u16string& created) {
    std::u16string wide(parent);
    if (!wide.empty() && !IsPathSeparator(wide.back())) {
        wide.push_back(u'/');
    }
    wide.append(prefix);
    std::string path = SystemPath(wide) + "XXXXXX";
    if (::mkdtemp(path.data()) == nullptr) {
        return false;
    }
    // Only the random suffix is new; the caller's own spelling of the rest is kept.
    created = wide + Utf8ToUtf16(path.substr(path.size() - 6));
    return true;
}

}  // namespace platform
