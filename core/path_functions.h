#pragma once
// Path and text functions shared by every subsystem. Narrow strings are GBK text; wide strings
// UTF-16. The wide functions treat "\" and "/" as separators and insert "\" when they join; the
// narrow ones know only "\". No function keeps state; any thread may call them.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "platform/paths.h"

// GBK to UTF-16; empty stays empty.
std::u16string ToWide(const std::string& text);
// UTF-16 to GBK; a character that GBK cannot represent becomes "?". Empty stays empty.
std::string ToNarrow(const std::u16string& text);

// "-" for negative values, then the decimal digits without leading zeros.
std::string DecimalText(std::int32_t value);
std::u16string DecimalTextW(std::int32_t value);

// The running executable's path; false (and the output unchanged) when it cannot be had.
bool GetModulePath(std::u16string& path);
// The temporary folder without its trailing separator; false (output unchanged) when it
// cannot be had or is 260 characters or longer.
bool GetTempFolder(std::u16string& path);

// Removes trailing separators, keeping the separator that follows a drive prefix, a lone
// separator and a leading double separator.
std::u16string TrimSeparators(const std::u16string& path);
// The folder of a path: D:\a\b.exe gives D:\a, D:\b.exe gives D:\, b.exe and "" give ".".
std::u16string ParentFolder(const std::u16string& path);
// Folder and name joined with one "\"; folder "." gives the name alone.
std::u16string JoinPath(const std::u16string& folder, const std::u16string& name);

bool IsFolder(const std::u16string& path);
// True when the path is a folder, or was created as one (one level).
bool EnsureFolder(const std::u16string& path);
// Creates the folder and every missing folder above it; true when it is a folder afterwards.
bool CreateFolders(const std::u16string& path);
// Creates the missing folders above a narrow file path; the result is not reported.
void CreateParentFolders(const std::string& filePath);

// Paths of this many UTF-16 characters or more are refused by the deletion and the replace.
constexpr std::size_t kMaxPathLength = 260;

// Deletes a file or (recursive) a folder tree. A path that does not exist counts as deleted;
// a path of kMaxPathLength or more characters is refused.
bool DeletePath(const std::u16string& path, bool recursive);
// DeletePath of a narrow path, not recursive.
bool DeleteFileAt(const std::string& path);
// Throws away a downloaded file so that the next attempt or run fetches it again from byte 0.
// One that cannot be deleted (a path of kMaxPathLength characters or more) is emptied instead:
// left whole it would count as complete, and a resumed download would append to it.
void DiscardFile(const std::string& path);

// The work folder of this name under the temporary folder, or a numbered fall-back name: a
// private folder of this user (created with no access for others). A name taken by a file, a
// link, another user's folder or a folder that others may use is passed over. False with an
// empty path only when there is no temporary folder.
bool MakeWorkFolder(const std::u16string& name, std::u16string& folder);
// Empties both work folders in place (an empty path is skipped); a missing one is made again,
// private. False when either is not a private folder of this user afterwards or could not be
// emptied.
bool RecreateWorkFolders(const std::string& downloadFolder, const std::string& compressedFolder);

// Why a relative path from a file list is refused; None when it is accepted.
enum class RelativePathFault {
    None,
    NotRelative,         // empty, a leading separator, or a drive prefix (any "?:" start)
    BadSegment,          // an empty segment, or one of dots and blanks only ("." and "..")
    Colon,               // ":" anywhere else: an alternate data stream on Windows
    ForbiddenCharacter,  // a control character or one of < > " | ? *
    DeviceName,          // CON, PRN, AUX, NUL, COM1-9, LPT1-9, with or without an extension
    TrailingDotOrBlank,  // a segment that ends in "." or " ", which Windows drops
};

// The rule for a relative path as the system sees it (UTF-16): one that stays in the folder it
// is joined to and that Windows reads as the same file on every system ("\" and "/" separate).
RelativePathFault FindRelativePathFault(std::u16string_view path);
// The same rule for GBK text. Bytes that are not GBK reach the system as "?" and are refused.
RelativePathFault FindRelativePathFault(std::string_view path);
// A GBK relative path without any fault: it cannot leave the folder it is joined to nor alias
// another file, a device or a stream on Windows.
bool IsContainedRelativePath(std::string_view path);

// Where a web server's folder keeps the file that a URL names: urlPath is the URL's decoded path
// below the folder, GBK bytes with "/" between segments; the caller has refused "..". A POSIX
// server maps the bytes to a file name as they are, so there the name is the GBK bytes
// themselves; Windows names are UTF-16 text, so there it is the path's text.
std::filesystem::path ServedFilePath(const std::filesystem::path& root, const std::string& urlPath);

std::string WithTrailingBackslash(const std::string& path);
std::string WithoutTrailingBackslash(const std::string& path);

// Whether something exists at a narrow path (file or folder), and whether it is a folder.
bool PathExistsA(const std::string& path);
bool IsFolderA(const std::string& path);
