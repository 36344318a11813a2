// Download throughput: HttpDownloader::DownloadToFile of a file of a few MB from the loopback
// test server into a file.

#include <cstdint>
#include <filesystem>
#include <random>
#include <string>

#include <benchmark/benchmark.h>

#include "http/http_downloader.h"
#include "tests/support/http_test_server.h"

namespace {

namespace fs = std::filesystem;

void BM_DownloadToFile(benchmark::State& state) {
    const std::size_t size = static_cast<std::size_t>(state.range(0)) << 20;
    std::string body(size, '\0');
    std::mt19937 random(5);
    for (char& c : body) {
        c = static_cast<char>(random());
    }
    testsupport::HttpTestServer server;
    server.Set("/files/big.bin", testsupport::Reply(200, body));
    const std::string url = server.BaseUrl() + "files/big.bin";
    const fs::path local = fs::temp_directory_path() / "big.bin";

    HttpDownloader downloader;
    for (auto _ : state) {
        state.PauseTiming();
        fs::remove(local);
        downloader.fileOffset = 0;
        state.ResumeTiming();
        if (!downloader.DownloadToFile("big.bin", url, local.string(), 60)) {
            state.SkipWithError("download failed");
            break;
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * size));
    fs::remove(local);
}
BENCHMARK(BM_DownloadToFile)->Arg(4)->Arg(16)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
