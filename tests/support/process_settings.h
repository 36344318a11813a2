#pragma once
// What a test changes about its own process: environment variables, and the size of the files
// it may write.

#include <filesystem>
#include <optional>
#include <string>

namespace testsupport {

// Sets (or, with a null value, removes) an environment variable of this process.
void SetEnvironment(const char* name, const char* value);

// Makes a folder the temporary folder of this process and of the programs it starts: $TMPDIR on
// POSIX, %TMP% and %TEMP% on Windows.
void SetTemporaryFolder(const std::filesystem::path& folder);

// The variable that names the temporary folder of this process and of the programs it starts,
// for a scope or a child's environment: TMPDIR on POSIX, TMP (read first) on Windows.
extern const char* const kTemporaryFolderVariable;

// Sets (or, with a null value, removes) an environment variable for a scope, and puts the
// previous value, or its absence, back at its end.
class ScopedEnvironment {
public:
    ScopedEnvironment(const char* name, const char* value);
    ScopedEnvironment(const char* name, const std::string& value)
        : ScopedEnvironment(name, value.c_str()) {}
    // A path as UTF-8, the way the programs read it back.
    ScopedEnvironment(const char* name, const std::filesystem::path& value)
        : ScopedEnvironment(name, value.u8string()) {}
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;
    ~ScopedEnvironment();

private:
    std::string name_;
    std::optional<std::string> saved_;
};

// Whether the tests run on a POSIX system, with its programs (xz, md5sum, script, chown, stat),
// symbolic links, access bits, lock files and signals. On Windows the cases that need them are
// skipped with their reason.
extern const bool kPosixSystem;

// Whether this system can limit the size of the files a process writes (POSIX can, Windows
// cannot); a test of a full disk is skipped where it cannot.
bool FileSizeLimitSupported();

// Limits the size of files this process writes (a full disk); 0 lifts the limit. Writes beyond
// it come back short instead of ending the process. Does nothing without FileSizeLimitSupported.
void LimitFileSize(unsigned long long bytes);

}  // namespace testsupport
