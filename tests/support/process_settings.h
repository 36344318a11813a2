#pragma once
// What a test changes about its own process: environment variables, and the size of the files
// it may write.

#include <optional>
#include <string>

namespace testsupport {

// Sets (or, with a null value, removes) an environment variable of this process.
void SetEnvironment(const char* name, const char* value);

// Sets (or, with a null value, removes) an environment variable for a scope, and puts the
// previous value, or its absence, back at its end.
class ScopedEnvironment {
public:
    ScopedEnvironment(const char* name, const char* value);
    ScopedEnvironment(const char* name, const std::string& value)
        : ScopedEnvironment(name, value.c_str()) {}
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;
    ~ScopedEnvironment();

private:
    std::string name_;
    std::optional<std::string> saved_;
};

// Limits the size of files this process writes (a full disk); 0 lifts the limit. Writes beyond
// it come back short instead of ending the process.
void LimitFileSize(unsigned long long bytes);

}  // namespace testsupport
