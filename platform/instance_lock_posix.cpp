// The single-instance lock as an flock on a file: the system drops it when the holder dies.

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/files.h"
#include "platform/instance_lock.h"
#include "platform/text_codepage.h"

namespace platform {
namespace {

constexpr std::size_t kMaxNameBytes = 200;

std::uint64_t Fnv1a64(const std::string& bytes) {
    std::uint64_t hash = 14695981039346656037ull;
    for (const char c : bytes) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 1099511628211ull;
    }
    return hash;
}

// One file name for any lock name: "/", "%" and NUL are escaped, and a long name keeps its
// beginning and gets a hash of the whole, which stays the same from run to run.
std::string FileNameFor(std::u16string_view name) {
    const std::string utf8 = Utf16ToUtf8(name);
    std::string escaped;
    for (const char c : utf8) {
        if (c == '/' || c == '%' || c == '\0') {
            char code[4];
            std::snprintf(code, sizeof(code), "%%%02X", static_cast<unsigned char>(c));
            escaped += code;
        } else {
            escaped.push_back(c);
        }
    }
    if (escaped.size() > kMaxNameBytes) {
        std::size_t keep = kMaxNameBytes - 17;
        // Not in the middle of a UTF-8 sequence.
        while (keep > 0 && (static_cast<unsigned char>(escaped[keep]) & 0xC0) == 0x80) {
            --keep;
        }
        char hash[18];
        std::snprintf(hash, sizeof(hash), "-%016llx",
                      static_cast<unsigned long long>(Fnv1a64(utf8)));
        escaped = escaped.substr(0, keep) + hash;
    }
    return escaped + ".lock";
}

bool IsPrivate(const std::string& folder) {
    return IsPrivateFolder(Utf8ToUtf16(folder));
}

// Where only this user can make files: $XDG_RUNTIME_DIR when it is such a folder, else a folder
// of this user's own in /tmp. In a folder that others can write to, another user could make the
// lock file first and so stop every update. Empty when neither can be had.
std::string LockFolder() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime != nullptr && *runtime != '\0' && IsPrivate(runtime)) {
        return runtime;
    }
    const std::string own = "/tmp/orvupdate-" + std::to_string(::geteuid());
    ::mkdir(own.c_str(), 0700);
    return IsPrivate(own) ? own : std::string();
}

}  // namespace

NamedLock::NamedLock(std::u16string_view name) {
    const std::string folder = LockFolder();
    if (folder.empty()) {
        state_ = State::Failed;
        return;
    }
    const std::string path = folder + "/orvupdate-" + FileNameFor(name);
    // O_CLOEXEC: a program started later must not hold the lock on; O_NOFOLLOW: a link planted
    // in a shared folder does not redirect the file.
    int fd;
    do {
        fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    } while (fd < 0 && errno == EINTR);
    struct stat info;
    if (fd >= 0 && (::fstat(fd, &info) != 0 || info.st_uid != ::geteuid())) {
        // Another user's file: whoever holds it says nothing about this user's updaters.
        ::close(fd);
        fd = -1;
    }
    if (fd < 0) {
        state_ = State::Failed;
        return;
    }
    int result;
    do {
        result = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (result != 0 && errno == EINTR);
    if (result != 0) {
        state_ = errno == EWOULDBLOCK ? State::AlreadyExists : State::Failed;
        ::close(fd);
        return;
    }
    // The file itself stays: removing it would let a later taker lock a different file than a
    // process that opened the old one.
    handle_ = fd;
    state_ = State::Acquired;
}

NamedLock::~NamedLock() {
    Release();
}

void NamedLock::Release() {
    if (handle_ != -1) {
        ::close(static_cast<int>(handle_));
        handle_ = -1;
    }
}

}  // namespace platform
