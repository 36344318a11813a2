#pragma once
// Environment variables of the process.

#include <optional>
#include <string>

namespace platform {

// The value of an environment variable; nothing when it is not set.
std::optional<std::string> GetEnvironment(const char* name);

}  // namespace platform

namespace platform {

// Sets (or, with a null value, removes) an environment variable of this process.
void SetEnvironment(const char* name, const char* value);

}  // namespace platform
