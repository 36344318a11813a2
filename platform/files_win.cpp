// Files on Windows: every path becomes UTF-16 with "\" and goes to the wide calls. Paths of 260
// characters or more are not given any prefix: the callers refuse them before they get here.

#include <windows.h>

#include <bcrypt.h>

#include <aclapi.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "platform/files.h"
#include "platform/paths.h"
#include "platform/text_codepage.h"

namespace platform {
namespace {

// Files are opened so that other programs (a browser, a virus scanner) may go on reading,
// writing, renaming and deleting them: the updater never keeps others out.
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

std::wstring ToSystem(std::u16string_view wide) {
    std::wstring path(wide.begin(), wide.end());
    std::replace(path.begin(), path.end(), L'/', L'\\');
    return path;
}

std::wstring ToSystem(std::string_view ansi) {
    return ToSystem(AnsiToUtf16(ansi));
}

// "dir\" names the same entry as "dir", and a deletion must see a link itself. A root keeps its
// separator: "C:" alone means the current folder of drive C.
std::wstring WithoutTrailingSeparators(std::wstring path) {
    while (path.size() > 1 && path.back() == L'\\' && !(path.size() == 3 && path[1] == L':')) {
        path.pop_back();
    }
    return path;
}

const wchar_t* Api(const std::wstring& path) {
    return path.c_str();
}

bool IsNotFound(DWORD error) {
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

bool IsLink(DWORD attributes) {
    return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

bool IsFolder(DWORD attributes) {
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

class Handle {
public:
    explicit Handle(HANDLE handle = INVALID_HANDLE_VALUE) : handle_(handle) {}
    ~Handle() { Close(); }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;

    HANDLE get() const { return handle_; }
    HANDLE release() { return std::exchange(handle_, INVALID_HANDLE_VALUE); }
    bool valid() const { return handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr; }
    bool Close() {
        const bool closed = !valid() || CloseHandle(handle_) != 0;
        handle_ = INVALID_HANDLE_VALUE;
        return closed;
    }

private:
    HANDLE handle_;
};

PathKind KindOfSystemPath(const std::wstring& path) {
    if (path.empty()) {
        return PathKind::Missing;
    }
    const DWORD attributes = GetFileAttributesW(Api(path));
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        return PathKind::Missing;
    }
    if (!IsLink(attributes)) {
        return IsFolder(attributes) ? PathKind::Folder : PathKind::File;
    }
    // A link is followed to what it names; a dangling one cannot be opened.
    const Handle target(CreateFileW(Api(path), FILE_READ_ATTRIBUTES, kShareAll, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION info;
    if (!target.valid() || !GetFileInformationByHandle(target.get(), &info)) {
        return PathKind::Missing;
    }
    return IsFolder(info.dwFileAttributes) ? PathKind::Folder : PathKind::File;
}

// A read-only file cannot be deleted or replaced on Windows; on a POSIX system the file's mode
// does not stop either. Installed files are the updater's to replace.
void ClearReadOnly(const std::wstring& path, DWORD attributes) {
    if ((attributes & FILE_ATTRIBUTE_READONLY) != 0 && !IsLink(attributes)) {
        SetFileAttributesW(Api(path), attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
    }
}

// Deletes one entry that is not a folder to walk into: a file, or a link (a folder link or a
// junction goes as the empty folder it is to the system; what it names stays). A file held
// open without delete sharing fails with a sharing violation.
bool DeleteEntry(const std::wstring& path, DWORD attributes) {
    if (IsFolder(attributes)) {
        return RemoveDirectoryW(Api(path)) != 0;
    }
    ClearReadOnly(path, attributes);
    return DeleteFileW(Api(path)) != 0;
}

bool DeleteTree(const std::wstring& folder, bool keepFolder);

// Deletes everything inside a folder; links inside are deleted, never followed.
bool DeleteContents(const std::wstring& folder) {
    WIN32_FIND_DATAW entry;
    const std::wstring pattern = folder + (folder.back() == L'\\' ? L"*" : L"\\*");
    const HANDLE search =
        FindFirstFileExW(Api(pattern), FindExInfoBasic, &entry, FindExSearchNameMatch, nullptr, 0);
    if (search == INVALID_HANDLE_VALUE) {
        return GetLastError() == ERROR_FILE_NOT_FOUND;
    }
    // The names are read first: deleting while the search runs may skip entries.
    std::vector<std::pair<std::wstring, DWORD>> entries;
    do {
        const std::wstring name = entry.cFileName;
        if (name != L"." && name != L"..") {
            entries.emplace_back(name, entry.dwFileAttributes);
        }
    } while (FindNextFileW(search, &entry));
    const bool listed = GetLastError() == ERROR_NO_MORE_FILES;
    FindClose(search);

    bool deleted = listed;
    for (const auto& [name, attributes] : entries) {
        const std::wstring path = folder + (folder.back() == L'\\' ? L"" : L"\\") + name;
        const bool ok = IsFolder(attributes) && !IsLink(attributes) ? DeleteTree(path, false)
                                                                    : DeleteEntry(path, attributes);
        deleted = ok && deleted;
    }
    return deleted;
}

bool DeleteTree(const std::wstring& folder, bool keepFolder) {
    const bool emptied = DeleteContents(folder);
    if (keepFolder || !emptied) {
        return emptied;
    }
    return RemoveDirectoryW(Api(folder)) != 0;
}

// The user this process runs as, from its token.
struct CurrentUser {
    std::vector<unsigned char> buffer;
    PSID sid() const {
        return buffer.empty() ? nullptr
                              : reinterpret_cast<const TOKEN_USER*>(buffer.data())->User.Sid;
    }
};

CurrentUser ReadCurrentUser() {
    CurrentUser user;
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
        return user;
    }
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    user.buffer.resize(size);
    if (size == 0 || !GetTokenInformation(token, TokenUser, user.buffer.data(), size, &size)) {
        user.buffer.clear();
    }
    CloseHandle(token);
    return user;
}

// Those who may open anything on the machine anyway.
bool IsSystemOrAdministrators(PSID sid) {
    return IsWellKnownSid(sid, WinLocalSystemSid) ||
           IsWellKnownSid(sid, WinBuiltinAdministratorsSid);
}

bool IsDenyAce(BYTE type) {
    return type == ACCESS_DENIED_ACE_TYPE || type == ACCESS_DENIED_OBJECT_ACE_TYPE ||
           type == ACCESS_DENIED_CALLBACK_ACE_TYPE ||
           type == ACCESS_DENIED_CALLBACK_OBJECT_ACE_TYPE;
}

// Whether an open folder belongs to the user and grants nothing to anybody else. Entries that
// only pass on to what is made inside count too: those files are later installed.
bool GrantsOnlyTheUser(HANDLE folder, PSID user) {
    PSID owner = nullptr;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetSecurityInfo(folder, SE_FILE_OBJECT,
                        OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner, nullptr,
                        &dacl, nullptr, &descriptor) != ERROR_SUCCESS) {
        return false;
    }
    // No access list at all lets everybody in.
    bool own = owner != nullptr && EqualSid(owner, user) && dacl != nullptr;
    for (DWORD i = 0; own && i < dacl->AceCount; ++i) {
        void* ace = nullptr;
        if (!GetAce(dacl, i, &ace)) {
            own = false;
            break;
        }
        const BYTE type = static_cast<ACE_HEADER*>(ace)->AceType;
        if (IsDenyAce(type)) {
            continue;
        }
        if (type != ACCESS_ALLOWED_ACE_TYPE) {
            own = false;  // a kind of grant not read here
            break;
        }
        PSID grantee = &static_cast<ACCESS_ALLOWED_ACE*>(ace)->SidStart;
        own = EqualSid(grantee, user) || IsSystemOrAdministrators(grantee);
    }
    LocalFree(descriptor);
    return own;
}

// A security descriptor that lets only the user in, and that makes the user the owner also in an
// elevated process (whose new objects otherwise belong to the administrators). The access list
// is protected: nothing is inherited from a shared parent.
class PrivateSecurity {
public:
    PrivateSecurity(PSID user, DWORD inheritance) {
        const DWORD aclSize = sizeof(ACL) + sizeof(ACCESS_ALLOWED_ACE) + GetLengthSid(user);
        aclBuffer_.resize(aclSize);
        PACL acl = reinterpret_cast<PACL>(aclBuffer_.data());
        ok_ = InitializeAcl(acl, aclSize, ACL_REVISION) &&
              AddAccessAllowedAceEx(acl, ACL_REVISION, inheritance, FILE_ALL_ACCESS, user) &&
              InitializeSecurityDescriptor(&descriptor_, SECURITY_DESCRIPTOR_REVISION) &&
              SetSecurityDescriptorOwner(&descriptor_, user, FALSE) &&
              SetSecurityDescriptorDacl(&descriptor_, TRUE, acl, FALSE) &&
              SetSecurityDescriptorControl(&descriptor_, SE_DACL_PROTECTED, SE_DACL_PROTECTED);
        attributes_ = {sizeof(attributes_), &descriptor_, FALSE};
    }
    PrivateSecurity(const PrivateSecurity&) = delete;
    PrivateSecurity& operator=(const PrivateSecurity&) = delete;

    SECURITY_ATTRIBUTES* attributes() { return ok_ ? &attributes_ : nullptr; }

private:
    std::vector<unsigned char> aclBuffer_;
    SECURITY_DESCRIPTOR descriptor_;
    SECURITY_ATTRIBUTES attributes_;
    bool ok_ = false;
};

// Makes one folder that only the user may use (see PrivateSecurity).
CreateFolderResult MakePrivateFolder(const std::wstring& path) {
    const CurrentUser user = ReadCurrentUser();
    if (path.empty() || user.sid() == nullptr) {
        return CreateFolderResult::Failed;
    }
    PrivateSecurity security(user.sid(), OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE);
    if (security.attributes() == nullptr) {
        return CreateFolderResult::Failed;
    }
    if (CreateDirectoryW(Api(path), security.attributes())) {
        return CreateFolderResult::Created;
    }
    return GetLastError() == ERROR_ALREADY_EXISTS ? CreateFolderResult::AlreadyExists
                                                  : CreateFolderResult::Failed;
}

// Reads until the buffer is full or the end; false on a read error.
bool ReadSome(HANDLE file, char* data, DWORD size, DWORD& got) {
    got = 0;
    return ReadFile(file, data, size, &got, nullptr) != 0;
}

long WriteFully(HANDLE file, const void* data, std::size_t size) {
    // A long is 32 bits here: a count beyond it could not be told.
    size = std::min<std::size_t>(size, LONG_MAX);
    const char* bytes = static_cast<const char*>(data);
    std::size_t done = 0;
    while (done < size) {
        const DWORD part = static_cast<DWORD>(std::min<std::size_t>(size - done, 1u << 30));
        DWORD written = 0;
        if (!WriteFile(file, bytes + done, part, &written, nullptr) || written == 0) {
            break;
        }
        done += written;
    }
    if (done == 0 && size > 0) {
        return -1;
    }
    return static_cast<long>(done);
}

// A file on a disk: not a folder, a device ("NUL", "CON"), a pipe or a link.
bool IsDiskFile(HANDLE file) {
    BY_HANDLE_FILE_INFORMATION info;
    return GetFileType(file) == FILE_TYPE_DISK && GetFileInformationByHandle(file, &info) &&
           !IsFolder(info.dwFileAttributes) && !IsLink(info.dwFileAttributes);
}

HANDLE Raw(std::intptr_t handle) {
    return reinterpret_cast<HANDLE>(handle);
}

bool RandomBytes(unsigned char* bytes, ULONG size) {
    return BCryptGenRandom(nullptr, bytes, size, BCRYPT_USE_SYSTEM_PREFERRED_RNG) == 0;
}

}  // namespace

std::string SystemPath(std::string_view ansiPath) {
    return SystemPath(AnsiToUtf16(ansiPath));
}

std::string SystemPath(std::u16string_view widePath) {
    std::u16string path(widePath);
    std::replace(path.begin(), path.end(), u'/', u'\\');
    return Utf16ToUtf8(path);
}

PathKind KindOf(std::string_view ansiPath) {
    return KindOfSystemPath(ToSystem(ansiPath));
}

PathKind KindOf(std::u16string_view widePath) {
    return KindOfSystemPath(ToSystem(widePath));
}

struct PathPresence::Listing {};

PathPresence::PathPresence() = default;

PathPresence::~PathPresence() = default;

bool PathPresence::Exists(std::string_view ansiPath) {
    return KindOf(ansiPath) != PathKind::Missing;
}

bool IsPrivateFolder(std::u16string_view widePath) {
    const std::wstring path = WithoutTrailingSeparators(ToSystem(widePath));
    const CurrentUser user = ReadCurrentUser();
    if (path.empty() || user.sid() == nullptr) {
        return false;
    }
    // The folder itself, never what a link at its name points to; the checks read the one
    // object that was opened, so the name cannot be swapped between them.
    const Handle folder(CreateFileW(
        Api(path), READ_CONTROL | FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
        FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    BY_HANDLE_FILE_INFORMATION info;
    return folder.valid() && GetFileInformationByHandle(folder.get(), &info) &&
           IsFolder(info.dwFileAttributes) && !IsLink(info.dwFileAttributes) &&
           GrantsOnlyTheUser(folder.get(), user.sid());
}

CreateFolderResult CreateOneFolder(std::u16string_view widePath) {
    const std::wstring path = ToSystem(widePath);
    if (path.empty()) {
        return CreateFolderResult::Failed;
    }
    if (CreateDirectoryW(Api(path), nullptr)) {
        return CreateFolderResult::Created;
    }
    return GetLastError() == ERROR_ALREADY_EXISTS ? CreateFolderResult::AlreadyExists
                                                  : CreateFolderResult::Failed;
}

CreateFolderResult CreatePrivateFolder(std::u16string_view widePath) {
    return MakePrivateFolder(ToSystem(widePath));
}

bool EmptyFolder(std::u16string_view widePath) {
    const std::wstring path = WithoutTrailingSeparators(ToSystem(widePath));
    if (path.empty()) {
        return false;
    }
    const DWORD attributes = GetFileAttributesW(Api(path));
    if (attributes == INVALID_FILE_ATTRIBUTES || !IsFolder(attributes) || IsLink(attributes)) {
        return false;
    }
    return DeleteTree(path, true);
}

DeleteResult DeleteAt(std::u16string_view widePath, bool recursive) {
    const std::wstring path = WithoutTrailingSeparators(ToSystem(widePath));
    if (path.empty()) {
        return DeleteResult::NotFound;
    }
    const DWORD attributes = GetFileAttributesW(Api(path));
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        return IsNotFound(GetLastError()) ? DeleteResult::NotFound : DeleteResult::Failed;
    }
    // Files and links (also links to folders, and junctions) go alone.
    if (IsLink(attributes) || !IsFolder(attributes) || !recursive) {
        return DeleteEntry(path, attributes) ? DeleteResult::Deleted : DeleteResult::Failed;
    }
    return DeleteTree(path, false) ? DeleteResult::Deleted : DeleteResult::Failed;
}

bool CopyWholeFile(std::string_view fromAnsi, std::string_view toAnsi) {
    const std::wstring from = ToSystem(fromAnsi);
    const std::wstring to = WithoutTrailingSeparators(ToSystem(toAnsi));
    if (from.empty() || to.empty()) {
        return false;
    }
    Handle in(CreateFileW(Api(from), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                          FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!in.valid() || !IsDiskFile(in.get())) {
        return false;
    }

    // The copy is written beside the target, flushed to disk and moved over it at the end: a
    // failed copy, a full disk or a crash leaves the old target whole (and a copy onto itself
    // cannot empty its own source). The temporary has a fixed name, so that one left by a killed
    // run is replaced by the next copy of the same target.
    const std::wstring temporary = ToSystem(CopyTemporaryPath(toAnsi));
    if (!DeleteFileW(Api(temporary)) && !IsNotFound(GetLastError())) {
        return false;
    }
    Handle out(CreateFileW(Api(temporary), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!out.valid()) {
        return false;
    }

    bool ok = true;
    std::vector<char> buffer(64 * 1024);
    for (;;) {
        DWORD got = 0;
        if (!ReadSome(in.get(), buffer.data(), static_cast<DWORD>(buffer.size()), got)) {
            ok = false;
            break;
        }
        if (got == 0) {
            break;
        }
        if (WriteFully(out.get(), buffer.data(), got) != static_cast<long>(got)) {
            ok = false;
            break;
        }
    }
    in.Close();
    ok = ok && FlushFileBuffers(out.get()) != 0;
    ok = out.Close() && ok;
    if (ok) {
        // The move replaces the target's name: a link there goes, what it names stays. A file
        // that a running program holds (a loaded program, a file open without delete sharing)
        // cannot be replaced, and the copy fails with the old file in place.
        const DWORD attributes = GetFileAttributesW(Api(to));
        if (attributes != INVALID_FILE_ATTRIBUTES) {
            ClearReadOnly(to, attributes);
        }
        ok = MoveFileExW(Api(temporary), Api(to),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
        if (!ok && attributes != INVALID_FILE_ATTRIBUTES && !IsLink(attributes)) {
            SetFileAttributesW(Api(to), attributes);
        }
    }
    if (!ok) {
        DeleteFileW(Api(temporary));
    }
    return ok;
}

// Windows has no way to start a file's writing to disk early: each copy flushes on its own.
CopyBatch::~CopyBatch() = default;

bool CopyBatch::Supported() {
    return false;
}

bool CopyBatch::Add(std::string_view, std::string_view) {
    return false;
}

std::vector<bool> CopyBatch::Flush() {
    return {};
}

// Never reached: no copy is written ahead here.
bool ReplaceWithCopy(std::string_view) {
    return false;
}

bool File::Open(std::string_view ansiPath, Mode mode) {
    Close();
    const std::wstring path = ToSystem(ansiPath);
    if (path.empty()) {
        return false;
    }
    // A link at the path is never written through: it could send the bytes anywhere. The write
    // modes open the name itself, and refuse it when it is a link; they truncate only after
    // that check, so that a link is never emptied either.
    const bool write = mode != Mode::Read;
    std::optional<PrivateSecurity> security;
    DWORD disposition = write ? OPEN_ALWAYS : OPEN_EXISTING;
    if (mode == Mode::CreatePrivate) {
        const CurrentUser user = ReadCurrentUser();
        if (user.sid() == nullptr) {
            return false;
        }
        security.emplace(user.sid(), 0);
        if (security->attributes() == nullptr) {
            return false;
        }
        disposition = CREATE_NEW;
    }
    Handle file(CreateFileW(Api(path), write ? GENERIC_WRITE : GENERIC_READ, kShareAll,
                            security ? security->attributes() : nullptr, disposition,
                            FILE_ATTRIBUTE_NORMAL | (write ? FILE_FLAG_OPEN_REPARSE_POINT : 0),
                            nullptr));
    if (!file.valid() || !IsDiskFile(file.get())) {
        return false;
    }
    LARGE_INTEGER zero = {};
    if (mode == Mode::CreateTruncate &&
        (!SetFilePointerEx(file.get(), zero, nullptr, FILE_BEGIN) || !SetEndOfFile(file.get()))) {
        return false;
    }
    if (mode == Mode::AppendOrCreate && !SetFilePointerEx(file.get(), zero, nullptr, FILE_END)) {
        return false;
    }
    handle_ = reinterpret_cast<std::intptr_t>(file.release());
    return true;
}

long File::Read(void* data, std::size_t size) {
    if (!IsOpen()) {
        return -1;
    }
    // A long is 32 bits here.
    const DWORD part = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
    DWORD got = 0;
    if (!ReadSome(Raw(handle_), static_cast<char*>(data), part, got)) {
        return -1;
    }
    return static_cast<long>(got);
}

long File::Write(const void* data, std::size_t size) {
    if (!IsOpen()) {
        return -1;
    }
    return WriteFully(Raw(handle_), data, size);
}

std::optional<std::uint64_t> File::Size() const {
    LARGE_INTEGER size;
    if (!IsOpen() || !GetFileSizeEx(Raw(handle_), &size)) {
        return std::nullopt;
    }
    return static_cast<std::uint64_t>(size.QuadPart);
}

bool File::Truncate() {
    // Back to the start first: the end of the file is cut where the position is.
    LARGE_INTEGER zero = {};
    return IsOpen() && SetFilePointerEx(Raw(handle_), zero, nullptr, FILE_BEGIN) &&
           SetEndOfFile(Raw(handle_));
}

void File::Close() {
    if (IsOpen()) {
        CloseHandle(Raw(handle_));
        handle_ = -1;
    }
}

bool CreateUniqueFolder(std::u16string_view parent, std::u16string_view prefix,
                        std::u16string& created) {
    std::u16string wide(parent);
    if (!wide.empty() && !IsPathSeparator(wide.back())) {
        wide.push_back(u'\\');
    }
    wide.append(prefix);
    static constexpr char16_t kLetters[] =
        u"abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    // Names are case-insensitive here: 36 distinct characters in six places make a name taken by
    // chance rare; a name taken on purpose is passed over.
    for (int attempt = 0; attempt < 100; ++attempt) {
        unsigned char random[6];
        if (!RandomBytes(random, sizeof(random))) {
            return false;
        }
        std::u16string candidate = wide;
        for (const unsigned char byte : random) {
            candidate.push_back(kLetters[byte % 62]);
        }
        // Private like a folder of mkdtemp: it is made to be filled with the user's files.
        switch (MakePrivateFolder(ToSystem(candidate))) {
            case CreateFolderResult::Created:
                created = candidate;
                return true;
            case CreateFolderResult::AlreadyExists:
                continue;
            case CreateFolderResult::Failed:
                return false;
        }
    }
    return false;
}

}  // namespace platform
