#pragma once
// Unpacks one LZMA package from the compressed folder into the download folder.

#include <cstdint>
#include <string>

#include "engine/task.h"

// Source name: the package path below compressedFolder; target name: the file path below
// downloadFolder.
class UncompressTask : public OrvTask {
public:
    bool Execute() override;
};

// Unpacks the package at source into the file at target (created or emptied); the size of the
// written file on success, -1 on any failure.
std::int32_t DecompressFile(const std::string& source, const std::string& target);
