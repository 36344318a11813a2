#pragma once
// What the platform helper prints, as the tests compare it.

#include <string>

namespace testsupport {

// The helper's standard output is a text stream: on Windows each "\n" arrives as "\r\n".
inline std::string HelperLines(std::string text) {
#ifdef _WIN32
    for (std::size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at)) {
        text.erase(at, 1);
    }
#endif
    return text;
}

}  // namespace testsupport
