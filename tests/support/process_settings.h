#pragma once
// What a test changes about its own process: environment variables, and the size of the files
// it may write.

namespace testsupport {

// Sets (or, with a null value, removes) an environment variable of this process.
void SetEnvironment(const char* name, const char* value);

// Limits the size of files this process writes (a full disk); 0 lifts the limit. Writes beyond
// it come back short instead of ending the process.
void LimitFileSize(unsigned long long bytes);

}  // namespace testsupport
