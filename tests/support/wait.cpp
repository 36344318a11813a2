#include "tests/support/wait.h"

#include <algorithm>
#include <string>
#include <thread>

#include "tests/support/temp_folder.h"

namespace testsupport {

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

int WaitForLines(const std::filesystem::path& path, int lines, std::chrono::milliseconds limit) {
    int complete = 0;
    WaitUntil(
        [&] {
            const std::string text = ReadFile(path);
            complete = static_cast<int>(std::count(text.begin(), text.end(), '\n'));
            return complete >= lines;
        },
        limit);
    return complete;
}

}  // namespace testsupport
