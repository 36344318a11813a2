#include <signal.h>
#include <sys/resource.h>

#include <algorithm>
#include <cstdlib>

#include "tests/support/process_settings.h"

namespace testsupport {

void SetEnvironment(const char* name, const char* value) {
    if (value == nullptr) {
        ::unsetenv(name);
    } else {
        ::setenv(name, value, 1);
    }
}

const char* const kTemporaryFolderVariable = "TMPDIR";
const bool kPosixSystem = true;

void SetTemporaryFolder(const std::filesystem::path& folder) {
    SetEnvironment("TMPDIR", folder.c_str());
}

bool FileSizeLimitSupported() {
    return true;
}

void LimitFileSize(unsigned long long bytes) {
    // Past the limit the system sends SIGXFSZ, which would end the process; ignored, the write
    // comes back short (or fails with EFBIG) instead.
    ::signal(SIGXFSZ, SIG_IGN);
    rlimit limit;
    if (::getrlimit(RLIMIT_FSIZE, &limit) != 0) {
        return;
    }
    limit.rlim_cur = bytes == 0 ? limit.rlim_max : std::min<rlim_t>(bytes, limit.rlim_max);
    ::setrlimit(RLIMIT_FSIZE, &limit);
}

}  // namespace testsupport
