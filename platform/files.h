#pragma once
// File-system calls. Narrow paths are GBK text, wide paths UTF-16; in both, "\" and "/" are
// separators. A path reaches a POSIX system as UTF-8 with "/" separators, Windows as UTF-16 with
// "\" separators through the wide calls.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// The path as the system sees it, as UTF-8: every "\" turned into "/" on a POSIX system, every
// "/" into "\" on Windows.
std::string SystemPath(std::string_view ansiPath);
std::string SystemPath(std::u16string_view widePath);

enum class PathKind { Missing, File, Folder };

// What is at a path (symbolic links are followed, so a dangling link is Missing).
PathKind KindOf(std::string_view ansiPath);
PathKind KindOf(std::u16string_view widePath);

// Whether many paths exist (KindOf is not Missing), for a caller that asks about many paths in
// the same folders, such as every file of an installation. On a POSIX system the names of a
// folder are read once, when a path in it is first asked about, and answer for the paths that
// follow in it: as the names were then, not as they may be later. A symbolic link, a folder
// that cannot be listed or searched, and a folder asked about again after another are asked
// path by path. Windows asks path by path, since its names compare without regard to case.
class PathPresence {
public:
    PathPresence();
    PathPresence(const PathPresence&) = delete;
    PathPresence& operator=(const PathPresence&) = delete;
    ~PathPresence();

    bool Exists(std::string_view ansiPath);

private:
    struct Listing;
    std::unique_ptr<Listing> listing_;
};

// Whether the path is a private folder of the user running this program: a folder itself, not a
// symbolic link to one (on Windows no reparse point: a symbolic link or a junction), owned by
// this user, and neither readable, writable nor searchable by anybody else (on Windows: no
// access granted to anybody but this user, the system account and the administrators). A shared
// temporary folder also holds other users' names; only such a folder is safe to fill with files
// that are later installed.
bool IsPrivateFolder(std::u16string_view widePath);

enum class CreateFolderResult { Created, AlreadyExists, Failed };

// Creates one folder whose parent exists.
CreateFolderResult CreateOneFolder(std::u16string_view widePath);
// Creates one folder that only this user may use (see IsPrivateFolder).
CreateFolderResult CreatePrivateFolder(std::u16string_view widePath);

// Deletes everything inside a folder and keeps the folder itself, so that its name is never free
// for somebody else to take. Symbolic links inside are deleted, never followed. False when
// something could not be deleted or the path is not a folder.
bool EmptyFolder(std::u16string_view widePath);

enum class DeleteResult { Deleted, NotFound, Failed };

// Deletes a file or a folder. Recursive: a whole tree, never following symbolic links out of
// it. Not recursive: a file, a symbolic link or an empty folder; a non-empty folder fails.
DeleteResult DeleteAt(std::u16string_view widePath, bool recursive);

// Copies a whole file over an existing target (which is replaced). The copy is written to
// CopyTemporaryPath, flushed to disk and renamed over the target, so the target is at every
// moment either the old file or the whole new one; the temporary is removed when the copy
// fails. A link at the target is replaced, never followed. Programs (".exe") and executable
// sources stay executable.
bool CopyWholeFile(std::string_view fromAnsi, std::string_view toAnsi);

// Where CopyWholeFile writes a copy of this target before it replaces it: beside the target, a
// fixed name. A process killed during a copy leaves it there until the target is copied again.
std::string CopyTemporaryPath(std::string_view toAnsi);

// Copies written ahead of their tasks and put on disk together. CopyWholeFile waits for the disk
// once per copy; copies whose writing to disk started together are all there after about one
// wait. Add writes a copy to CopyTemporaryPath(to), as CopyWholeFile does, and starts putting it
// on disk; Flush waits until every added copy is there, and ReplaceWithCopy renames a flushed
// copy over its target. A copy that fails, and every copy of a batch that ends unflushed, is
// removed. Windows cannot start the writing early: there the batch is not Supported, Add fails
// and each CopyWholeFile flushes its own copy.
class CopyBatch {
public:
    CopyBatch() = default;
    CopyBatch(const CopyBatch&) = delete;
    CopyBatch& operator=(const CopyBatch&) = delete;
    ~CopyBatch();

    static bool Supported();
    bool Add(std::string_view fromAnsi, std::string_view toAnsi);
    // For each copy in the order added: whether it is on disk. The batch is empty again.
    std::vector<bool> Flush();

private:
    struct Copy {
        std::string temporary;  // as the system sees it
        std::intptr_t handle;
    };
    std::vector<Copy> copies_;
};

// Renames the flushed copy at CopyTemporaryPath(to) over the target; the copy is removed when
// that fails.
bool ReplaceWithCopy(std::string_view toAnsi);

// An open file; closed by Close or the destructor. Not shared between threads.
class File {
public:
    enum class Mode {
        Read,            // existing file, read only
        AppendOrCreate,  // write, created when missing, kept when present, positioned at its end
        CreateTruncate,  // write, created or emptied
        CreatePrivate,   // write, a new file that only this user may read or write; fails when
                         // anything is at the path
    };
    // The write modes never follow a symbolic link at the path: opening one fails.

    File() = default;
    File(const File&) = delete;
    File& operator=(const File&) = delete;
    File(File&& other) noexcept;
    File& operator=(File&& other) noexcept;
    ~File();

    bool Open(std::string_view ansiPath, Mode mode);
    bool IsOpen() const { return handle_ != -1; }
    // Bytes read (0 at the end), or -1 on a read error.
    long Read(void* data, std::size_t size);
    // Bytes written, fewer than asked when the disk is full or a size limit is reached; -1 when
    // nothing could be written.
    long Write(const void* data, std::size_t size);
    // Whole size of the open file.
    std::optional<std::uint64_t> Size() const;
    // Cuts the open file to zero length.
    bool Truncate();
    void Close();

private:
    // The descriptor (POSIX) or the HANDLE (Windows, where INVALID_HANDLE_VALUE is -1); -1 when
    // closed.
    std::intptr_t handle_ = -1;
};

// Creates a fresh folder "<parent>/<prefix>XXXXXX" with a unique suffix; true with its wide path.
bool CreateUniqueFolder(std::u16string_view parent, std::u16string_view prefix,
                        std::u16string& created);

}  // namespace platform
