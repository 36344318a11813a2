// The main of every benchmark: the process gets a temporary folder of its own ($TMPDIR), so
// that the update manager's work folders and the benchmark's files stay inside it, and it is
// removed at the end.

#include <filesystem>
#include <random>
#include <string>

#include <benchmark/benchmark.h>

#include "tests/support/process_settings.h"

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }

    std::random_device random;
    const std::filesystem::path base = std::filesystem::temp_directory_path();
    std::filesystem::path own;
    do {
        own = base / ("orvbench-" + std::to_string(random()));
    } while (!std::filesystem::create_directory(own));
    testsupport::SetEnvironment("TMPDIR", own.c_str());

    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    std::error_code ignored;
    std::filesystem::remove_all(own, ignored);
    return 0;
}
