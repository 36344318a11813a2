// The main of every test program: the process gets a temporary folder of its own, so
// that the update manager's work folders and every test file stay inside it, and it is removed
// at the end.

#include <filesystem>
#include <random>
#include <string>

#include <gtest/gtest.h>

#include "tests/support/process_settings.h"

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);

    std::random_device random;
    const std::filesystem::path base = std::filesystem::temp_directory_path();
    std::filesystem::path own;
    do {
        own = base / ("orvtest-" + std::to_string(random()));
    } while (!std::filesystem::create_directory(own));
    testsupport::SetTemporaryFolder(own);

    const int result = RUN_ALL_TESTS();

    std::error_code ignored;
    std::filesystem::remove_all(own, ignored);
    return result;
}
