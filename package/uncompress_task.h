#pragma once
// Unpacks one LZMA package from the compressed folder into the download folder.

#include <cstdint>
#include <future>
#include <string>

#include "core/task.h"

class EntryCheck;

// Source name: the package path below compressedFolder; target name: the file path below
// downloadFolder.
class UncompressTask : public OrvTask {
public:
    // Unpacks the package; on failure the package is deleted so that the next run fetches it
    // again. With a positive "size" in the entry the unpacked file must have exactly that size;
    // with a checkable "md5" it must match it. A file that does not is deleted together with the
    // package. After StartAhead, the first Execute takes that unpacking's result instead.
    bool Execute() override;

    // Starts this task's unpacking on a thread of its own, so that it runs beside another
    // package's; nothing else may use the task or its two files until its next Execute or
    // WaitAhead. Nothing starts when no thread can be had: Execute then unpacks as usual.
    void StartAhead();
    // Waits for an unpacking started ahead and forgets its result: the next Execute unpacks
    // again.
    void WaitAhead();
    ~UncompressTask() override;

private:
    bool Unpack();

    std::future<bool> ahead_;
};

// Unpacks the package at source into the file at target (created or emptied); the size of the
// written file on success, -1 on any failure. Up to 2 GiB - 1 bytes, with a dictionary of at
// most 64 MiB whatever the package's header asks for.
// With a check, every byte written is fed to it as well.
std::int32_t DecompressFile(const std::string& source, const std::string& target,
                            EntryCheck* check = nullptr);

// DecompressFile of a file known to be at most maxSize bytes: a package that states a larger
// size is refused before decoding, one without a stated size fails as soon as it would unpack
// beyond maxSize, and the dictionary is at most max(4 KiB, maxSize).
std::int32_t DecompressFileUpTo(const std::string& source, const std::string& target,
                                std::uint32_t maxSize, EntryCheck* check = nullptr);
