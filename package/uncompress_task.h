#pragma once
// Unpacks one LZMA package from the compressed folder into the download folder.

#include <cstdint>
#include <string>

#include "core/task.h"

// Source name: the package path below compressedFolder; target name: the file path below
// downloadFolder.
class UncompressTask : public OrvTask {
public:
    // Unpacks the package; on failure the package is deleted so that the next run fetches it
    // again. With a positive "size" in the entry the unpacked file must have exactly that size;
    // with a checkable "md5" it must match it. A file that does not is deleted together with the
    // package.
    bool Execute() override;
};

// Unpacks the package at source into the file at target (created or emptied); the size of the
// written file on success, -1 on any failure. Up to 2 GiB - 1 bytes, with a dictionary of at
// most 64 MiB whatever the package's header asks for.
std::int32_t DecompressFile(const std::string& source, const std::string& target);

// DecompressFile of a file known to be at most maxSize bytes: a package that states a larger
// size is refused before decoding, one without a stated size fails as soon as it would unpack
// beyond maxSize, and the dictionary is at most max(4 KiB, maxSize).
std::int32_t DecompressFileUpTo(const std::string& source, const std::string& target,
                                std::uint32_t maxSize);
