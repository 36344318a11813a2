#include "core/path_functions.h"

#include <algorithm>
#include <string>
#include <string_view>
#include <type_traits>

#include "platform/files.h"
#include "platform/paths.h"
#include "platform/text_codepage.h"

namespace {

// Numbered fall-back names tried after the plain work-folder name.
constexpr std::int32_t kWorkFolderFallbacks = 50;

// ".", ".." and names of dots and blanks only, which some systems shorten to "." or "..".
bool IsDotSegment(std::string_view path, std::size_t begin, std::size_t end) {
    bool dot = false;
    for (std::size_t i = begin; i < end; ++i) {
        if (path[i] == '.') {
            dot = true;
        } else if (path[i] != ' ') {
            return false;
        }
    }
    return dot;
}

bool IsDriveLetter(char16_t c) {
    return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z');
}

// 2 for a drive prefix ("D:"), else 0.
std::size_t PrefixLength(const std::u16string& path) {
    return path.size() >= 2 && path[1] == u':' && IsDriveLetter(path[0]) ? 2 : 0;
}

// A root: nothing but a prefix and separators ("D:", "D:\", "\", "\\").
bool IsRoot(const std::u16string& path) {
    const std::size_t prefix = PrefixLength(path);
    for (std::size_t i = prefix; i < path.size(); ++i) {
        if (!platform::IsPathSeparator(path[i])) {
            return false;
        }
    }
    return prefix > 0 || !path.empty();
}

// The work folders are filled with files that are later installed, and emptied. In a temporary
// folder that other users share, a link, another user's folder, or a folder of ours that others
// may write into would let somebody else choose what is installed: such a name is passed over
// like a file in the way. A new work folder is private from its first moment.
bool IsUsableWorkFolder(const std::u16string& path) {
    if (platform::KindOf(path) == platform::PathKind::Missing) {
        platform::CreatePrivateFolder(path);
    }
    return platform::IsPrivateFolder(path);
}

}  // namespace

std::u16string ToWide(const std::string& text) {
    if (text.empty()) {
        return {};
    }
    return platform::AnsiToUtf16(text);
}

std::string ToNarrow(const std::u16string& text) {
    if (text.empty()) {
        return {};
    }
    return platform::Utf16ToAnsi(text);
}

std::string DecimalText(std::int32_t value) {
    return std::to_string(value);
}

std::u16string DecimalTextW(std::int32_t value) {
    const std::string narrow = DecimalText(value);
    return std::u16string(narrow.begin(), narrow.end());
}

bool GetModulePath(std::u16string& path) {
    std::u16string found;
    if (!platform::GetExecutablePath(found) || found.empty()) {
        return false;
    }
    path = found;
    return true;
}

bool GetTempFolder(std::u16string& path) {
    std::u16string found;
    if (!platform::GetTemporaryFolder(found) || found.empty() || found.size() >= kMaxPathLength) {
        return false;
    }
    path = TrimSeparators(found);
    return true;
}

std::u16string TrimSeparators(const std::u16string& path) {
    const std::size_t prefix = PrefixLength(path);
    if (path.size() == prefix + 2 && platform::IsPathSeparator(path[prefix]) &&
        platform::IsPathSeparator(path[prefix + 1])) {
        return path;
    }
    std::size_t length = path.size();
    while (length > prefix + 1 && platform::IsPathSeparator(path[length - 1])) {
        --length;
    }
    return path.substr(0, length);
}

std::u16string ParentFolder(const std::u16string& path) {
    const std::u16string trimmed = TrimSeparators(path);
    const std::size_t prefix = PrefixLength(trimmed);
    std::size_t last = std::u16string::npos;
    for (std::size_t i = trimmed.size(); i > prefix; --i) {
        if (platform::IsPathSeparator(trimmed[i - 1])) {
            last = i - 1;
            break;
        }
    }

    std::size_t keep;
    if (last == std::u16string::npos) {
        keep = prefix;
    } else if (last == prefix) {
        keep = prefix + 1;
    } else if (last == prefix + 1 && platform::IsPathSeparator(trimmed[prefix])) {
        keep = prefix + 2;
    } else {
        keep = last;
    }
    std::u16string parent = TrimSeparators(trimmed.substr(0, keep));
    return parent.empty() ? u"." : parent;
}

std::u16string JoinPath(const std::u16string& folder, const std::u16string& name) {
    if (folder == u".") {
        return name;
    }
    std::u16string joined = TrimSeparators(folder);
    const bool driveOnly = joined.size() == 2 && PrefixLength(joined) == 2;
    if (!name.empty() && !joined.empty() && !platform::IsPathSeparator(joined.back()) &&
        !driveOnly) {
        joined.push_back(u'\\');
    }
    return joined + name;
}

bool IsFolder(const std::u16string& path) {
    return platform::KindOf(path) == platform::PathKind::Folder;
}

bool EnsureFolder(const std::u16string& path) {
    switch (platform::KindOf(path)) {
        case platform::PathKind::Folder:
            return true;
        case platform::PathKind::File:
            return false;
        case platform::PathKind::Missing:
            break;
    }
    const platform::CreateFolderResult created = platform::CreateOneFolder(path);
    // Another process may have made the same folder in the meantime; a folder is what we want.
    return created == platform::CreateFolderResult::Created ||
           (created == platform::CreateFolderResult::AlreadyExists && IsFolder(path));
}

bool CreateFolders(const std::u16string& path) {
    const platform::PathKind kind = platform::KindOf(path);
    if (kind != platform::PathKind::Missing) {
        return kind == platform::PathKind::Folder;
    }
    const std::u16string parent = ParentFolder(path);
    if (parent == path || !CreateFolders(parent)) {
        return false;
    }
    const platform::CreateFolderResult created = platform::CreateOneFolder(path);
    return created == platform::CreateFolderResult::Created ||
           (created == platform::CreateFolderResult::AlreadyExists && IsFolder(path));
}

void CreateParentFolders(const std::string& filePath) {
    CreateFolders(ParentFolder(ToWide(filePath)));
}

bool DeletePath(const std::u16string& path, bool recursive) {
    if (path.size() >= kMaxPathLength) {
        return false;
    }
    const std::u16string trimmed = TrimSeparators(path);
    // A drive or file-system root is never a file of ours; deleting it recursively would take
    // everything with it.
    if (IsRoot(trimmed)) {
        return false;
    }
    switch (platform::DeleteAt(trimmed, recursive)) {
        case platform::DeleteResult::Deleted:
        case platform::DeleteResult::NotFound:
            return true;
        case platform::DeleteResult::Failed:
            break;
    }
    return false;
}

bool DeleteFileAt(const std::string& path) {
    return DeletePath(ToWide(path), false);
}

void DiscardFile(const std::string& path) {
    if (!DeleteFileAt(path)) {
        platform::File file;
        file.Open(path, platform::File::Mode::CreateTruncate);
    }
}

bool MakeWorkFolder(const std::u16string& name, std::u16string& folder) {
    std::u16string temp;
    if (!GetTempFolder(temp)) {
        folder.clear();
        return false;
    }
    std::u16string candidate = JoinPath(temp, name);
    if (IsUsableWorkFolder(candidate)) {
        folder = candidate;
        return true;
    }
    for (std::int32_t i = 0; i < kWorkFolderFallbacks; ++i) {
        candidate = JoinPath(temp, name + DecimalTextW(i));
        if (IsUsableWorkFolder(candidate)) {
            folder = candidate;
            return true;
        }
    }
    // Every usual name is taken by something else. The temporary folder itself must not serve:
    // the work folders are emptied recursively. A fresh folder of our own is safe to empty.
    std::u16string unique;
    if (platform::CreateUniqueFolder(temp, name + u".", unique) &&
        platform::IsPrivateFolder(unique)) {
        folder = unique;
    } else {
        folder.clear();
    }
    return true;
}

bool RecreateWorkFolders(const std::string& downloadFolder, const std::string& compressedFolder) {
    bool usable = true;
    for (const std::string* folder : {&downloadFolder, &compressedFolder}) {
        // Without a work folder there is nothing of ours to empty; an empty path would name the
        // current folder.
        if (folder->empty()) {
            continue;
        }
        // Emptied in place, never deleted and made again: in a shared temporary folder another
        // user could take the name in between.
        const std::u16string wide = ToWide(WithoutTrailingBackslash(*folder));
        usable = IsUsableWorkFolder(wide) && platform::EmptyFolder(wide) && usable;
    }
    return usable;
}

namespace {

// Whether the last character is "\". In GBK the second byte of a double-byte character may be
// 0x5C; such a character is a letter of the name, not a separator.
bool EndsWithBackslash(const std::string& path) {
    bool lastIsBackslash = false;
    for (std::size_t i = 0; i < path.size(); ++i) {
        const unsigned char byte = static_cast<unsigned char>(path[i]);
        if (byte >= 0x81 && byte <= 0xFE && i + 1 < path.size()) {
            lastIsBackslash = false;
            ++i;
        } else {
            lastIsBackslash = byte == '\\';
        }
    }
    return lastIsBackslash;
}

}  // namespace

std::string WithTrailingBackslash(const std::string& path) {
    if (path.empty() || EndsWithBackslash(path)) {
        return path;
    }
    return path + "\\";
}

std::string WithoutTrailingBackslash(const std::string& path) {
    if (EndsWithBackslash(path)) {
        return path.substr(0, path.size() - 1);
    }
    return path;
}

bool PathExistsA(const std::string& path) {
    return platform::KindOf(path) != platform::PathKind::Missing;
}

bool IsFolderA(const std::string& path) {
    return platform::KindOf(path) == platform::PathKind::Folder;
}

namespace {

bool IsAsciiLetterIgnoringCase(char16_t c, char upper) {
    return c == static_cast<char16_t>(upper) || c == static_cast<char16_t>(upper - 'A' + 'a');
}

// A code unit of the text as UTF-16: a char is a byte of ASCII text here.
char16_t UnitOf(char16_t c) {
    return c;
}
char16_t UnitOf(char c) {
    return static_cast<unsigned char>(c);
}

// Whether text[begin, end) is the name, ASCII letters in either case.
template <typename Text>
bool EqualsIgnoringCase(Text text, std::size_t begin, std::size_t end, const char* name) {
    for (std::size_t i = begin; i < end; ++i, ++name) {
        if (*name == '\0' || !IsAsciiLetterIgnoringCase(UnitOf(text[i]), *name)) {
            return false;
        }
    }
    return *name == '\0';
}

// Windows opens a device for these names in any folder, whatever follows the first dot and
// with blanks before it ("nul.txt", "CON .log"). The superscript digits count as digits there.
template <typename Text>
bool IsDeviceName(Text path, std::size_t begin, std::size_t end) {
    // Most names are ruled out by their first letter (made lower case for ASCII letters).
    const char16_t first = begin < end ? UnitOf(path[begin]) | 0x20 : 0;
    if (first != u'c' && first != u'p' && first != u'a' && first != u'n' && first != u'l') {
        return false;
    }
    std::size_t stem = begin;
    while (stem < end && path[stem] != '.') {
        ++stem;
    }
    while (stem > begin && path[stem - 1] == ' ') {
        --stem;
    }
    for (const char* name : {"CON", "PRN", "AUX", "NUL"}) {
        if (EqualsIgnoringCase(path, begin, stem, name)) {
            return true;
        }
    }
    if (stem - begin != 4) {
        return false;
    }
    const char16_t digit = UnitOf(path[begin + 3]);
    const bool portDigit = (digit >= u'1' && digit <= u'9') || digit == u'\u00B9' ||
                           digit == u'\u00B2' || digit == u'\u00B3';
    return portDigit && (EqualsIgnoringCase(path, begin, begin + 3, "COM") ||
                         EqualsIgnoringCase(path, begin, begin + 3, "LPT"));
}

template <typename Text>
RelativePathFault FindSegmentFault(Text path, std::size_t begin, std::size_t end) {
    if (end == begin) {
        return RelativePathFault::BadSegment;
    }
    // Dots and blanks only: ".", "..", and names that some systems shorten to them.
    bool onlyDotsAndBlanks = true;
    bool dot = false;
    for (std::size_t i = begin; i < end; ++i) {
        dot = dot || path[i] == '.';
        onlyDotsAndBlanks = onlyDotsAndBlanks && (path[i] == '.' || path[i] == ' ');
    }
    if (onlyDotsAndBlanks && dot) {
        return RelativePathFault::BadSegment;
    }
    // Windows drops them, so "a.dll." and "a.dll " would be the file "a.dll".
    if (path[end - 1] == '.' || path[end - 1] == ' ') {
        return RelativePathFault::TrailingDotOrBlank;
    }
    if (IsDeviceName(path, begin, end)) {
        return RelativePathFault::DeviceName;
    }
    return RelativePathFault::None;
}

// The first fault that check(begin, end) finds in the segments between separators ("\" and "/").
template <typename Text, typename Check>
RelativePathFault FindFaultInSegments(Text path, Check check) {
    std::size_t begin = 0;
    for (;;) {
        std::size_t end = begin;
        while (end < path.size() && !platform::IsPathSeparator(path[end])) {
            ++end;
        }
        const RelativePathFault fault = check(begin, end);
        if (fault != RelativePathFault::None || end == path.size()) {
            return fault;
        }
        begin = end + 1;
    }
}

// The byte-wise reading of a GBK path: any byte 0x5C separates, so that a trail byte that the
// system might take for "\" cannot hide a separator.
RelativePathFault FindByteFault(std::string_view path) {
    if (path.empty() || platform::IsPathSeparator(path[0]) ||
        (path.size() >= 2 && path[1] == ':')) {
        return RelativePathFault::NotRelative;
    }
    // A zero byte would end the path early at the system call, after the checks below.
    if (path.find('\0') != std::string_view::npos) {
        return RelativePathFault::ForbiddenCharacter;
    }
    return FindFaultInSegments(path, [&path](std::size_t begin, std::size_t end) {
        return end == begin || IsDotSegment(path, begin, end) ? RelativePathFault::BadSegment
                                                              : RelativePathFault::None;
    });
}

bool IsForbiddenCharacter(char16_t c) {
    switch (c) {
        case u'<':
        case u'>':
        case u'"':
        case u'|':
        case u'?':
        case u'*':
            return true;
        default:
            return c < 0x20;
    }
}

// The rule on UTF-16 text, or on ASCII bytes, which are the same text.
template <typename Text>
RelativePathFault FindTextFault(Text path) {
    if (path.empty() || platform::IsPathSeparator(path[0]) ||
        (path.size() >= 2 && path[1] == ':')) {
        return RelativePathFault::NotRelative;
    }
    for (const auto unit : path) {
        const char16_t c = UnitOf(unit);
        if (c == u':') {
            return RelativePathFault::Colon;
        }
        // A zero would also end the path early at the system call, after the checks below.
        if (IsForbiddenCharacter(c)) {
            return RelativePathFault::ForbiddenCharacter;
        }
    }
    return FindFaultInSegments(path, [&path](std::size_t begin, std::size_t end) {
        return FindSegmentFault(path, begin, end);
    });
}

}  // namespace

RelativePathFault FindRelativePathFault(std::u16string_view path) {
    return FindTextFault(path);
}

RelativePathFault FindRelativePathFault(std::string_view path) {
    const RelativePathFault fault = FindByteFault(path);
    if (fault != RelativePathFault::None) {
        return fault;
    }
    // Most names are ASCII, which reads the same as UTF-16: no conversion for them.
    const bool ascii = std::all_of(path.begin(), path.end(),
                                   [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    return ascii ? FindTextFault(path)
                 : FindTextFault(std::u16string_view(ToWide(std::string(path))));
}

bool IsContainedRelativePath(std::string_view path) {
    return FindRelativePathFault(path) == RelativePathFault::None;
}

std::filesystem::path ServedFilePath(const std::filesystem::path& root,
                                     const std::string& urlPath) {
    using NameUnit = std::filesystem::path::value_type;
    std::filesystem::path path = root;
    std::size_t begin = 0;
    for (;;) {
        const std::size_t end = std::min(urlPath.find('/', begin), urlPath.size());
        const std::string segment = urlPath.substr(begin, end - begin);
        if constexpr (std::is_same_v<NameUnit, char>) {
            path /= std::filesystem::path(segment);
        } else {
            const std::u16string text = ToWide(segment);
            path /= std::filesystem::path(std::basic_string<NameUnit>(text.begin(), text.end()));
        }
        if (end == urlPath.size()) {
            return path;
        }
        begin = end + 1;
    }
}
