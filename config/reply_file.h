#pragma once
// Saving a manifest reply into the download folder, shared by both manifests.

#include <string>

// Writes the bytes to the file at a narrow path, creating or truncating it; whatever stands at
// the path (a file or a folder tree) is deleted first. Throws FileAccessError when the file
// cannot be created or written in full.
void WriteReplyFile(const std::string& path, const std::string& bytes);
