#pragma once
// Unpacks one LZMA package from the compressed folder into the download folder.

#include <cstdint>
#include <string>

#include "engine/task.h"

// Source name: the package path below compressedFolder; target name: the file path below
// downloadFolder.
class UncompressTask : public OrvTask {
public:
    // Unpacks the package; on failure the package is deleted so that the next run fetches it
    // again. With a checkable "md5" in the entry, an unpacked file that does not match it is
    // deleted together with the package.
    bool Execute() override;
};

// Unpacks the package at source into the file at target (created or emptied); the size of the
// written file on success, -1 on any failure.
std::int32_t DecompressFile(const std::string& source, const std::string& target);

// DecompressFile with a smaller ceiling on the unpacked size (DecompressFile allows up to
// 2 GiB - 1): a package that states a larger size is refused before decoding, one without a
// stated size fails once it unpacks beyond the ceiling.
std::int32_t DecompressFileUpTo(const std::string& source, const std::string& target,
                                std::uint32_t maxSize);
