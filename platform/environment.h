#pragma once
// Environment variables of the process.

#include <optional>
#include <string>

namespace platform {

// The value of an environment variable; nothing when it is not set.
std::optional<std::string> GetEnvironment(const char* name);

}  // namespace platform
