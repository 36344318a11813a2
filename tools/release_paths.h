#pragma once
// What the parts of the tree builder share: paths in UTF-8, paths shown in messages, the error
// that names them, and files written with their folders.

#include <filesystem>
#include <string>

#include "tools/release_tree.h"

namespace release {

fs::path FromUtf8(const std::string& utf8);
std::string ToUtf8(const fs::path& path);
// A path for messages: control bytes and bytes of invalid UTF-8 shown as \xNN, in quotes.
std::string Printable(const std::string& text);
// Throws ReleaseError with the message.
[[noreturn]] void Fail(const std::string& message);
bool HasControlCharacter(const std::string& text);
// Creates the folders above path; fails naming the folder.
void CreateParentFolders(const fs::path& path);
// Writes the whole file and the folders above it; fails naming the file.
void WriteWholeFile(const fs::path& path, const std::string& bytes);

}  // namespace release
