#include "tools/release_server.h"

#include <algorithm>
#include <chrono>
#include <fstream>
#include <mutex>
#include <system_error>
#include <utility>
#include <vector>

#include <httplib.h>

#include "core/path_functions.h"
#include "tools/byte_range.h"
#include "tools/path_inside.h"

namespace release {
namespace {

namespace fs = std::filesystem;

constexpr std::size_t kChunk = 64 * 1024;

// What one request asks of the tree, or the status that refuses it.
struct Lookup {
    int status = 200;
    fs::path file;
};

Lookup LookUp(const fs::path& root, const fs::path& canonicalRoot, const std::string& path) {
    Lookup result;
    // No tree file has a backslash or a colon in its name; on Windows they would separate or name
    // a drive.
    if (path.empty() || path.front() != '/' ||
        path.find_first_of(std::string("\0\\:", 3)) != std::string::npos) {
        result.status = 400;
        return result;
    }
    std::size_t start = 1;
    for (;;) {
        const std::size_t slash = path.find('/', start);
        const std::string segment = path.substr(start, slash - start);
        if (segment == "..") {
            result.status = 403;
            return result;
        }
        if (slash == std::string::npos) {
            break;
        }
        start = slash + 1;
    }
    const fs::path target = ServedFilePath(root, path.substr(1));
    std::error_code error;
    if (!fs::is_regular_file(target, error)) {
        result.status = 404;
        return result;
    }
    // A link inside the tree must not lead out of it.
    const fs::path canonical = fs::canonical(target, error);
    if (error || !IsInside(canonical, canonicalRoot)) {
        result.status = 403;
        return result;
    }
    result.file = canonical;
    return result;
}

}  // namespace

ReleaseServer::ReleaseServer(fs::path root, std::function<void(const std::string&)> log)
    : root_(std::move(root)), log_(std::move(log)), server_(std::make_unique<httplib::Server>()) {
    // An idle kept-alive connection holds up Stop for this long.
    server_->set_keep_alive_timeout(1);
    server_->Get(R"([\s\S]*)", [this](const httplib::Request& request,
                                      httplib::Response& response) { Handle(request, response); });
    auto logMutex = std::make_shared<std::mutex>();
    server_->set_logger(
        [this, logMutex](const httplib::Request& request, const httplib::Response& response) {
            if (!log_) {
                return;
            }
            const std::string range = request.get_header_value("Range");
            const std::string line = request.remote_addr + " \"" + request.method + " " +
                                     request.target + "\" " + std::to_string(response.status) +
                                     " " + (range.empty() ? "-" : range);
            std::lock_guard<std::mutex> lock(*logMutex);
            log_(line);
        });
}

ReleaseServer::~ReleaseServer() {
    Stop();
}

bool ReleaseServer::Start(int port) {
    std::error_code error;
    canonicalRoot_ = fs::canonical(root_, error);
    if (error || !fs::is_directory(canonicalRoot_, error)) {
        return false;
    }
    if (port == 0) {
        port_ = server_->bind_to_any_port("127.0.0.1");
    } else {
        port_ = server_->bind_to_port("127.0.0.1", port) ? port : -1;
    }
    if (port_ <= 0) {
        return false;
    }
    thread_ = std::thread([this] { server_->listen_after_bind(); });
    // A Stop that came before the loop started would be lost.
    while (!server_->is_running()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

void ReleaseServer::Stop() {
    if (thread_.joinable()) {
        server_->stop();
        thread_.join();
    }
}

void ReleaseServer::Handle(const httplib::Request& request, httplib::Response& response) {
    // Ranges are answered here; the library must not cut the body a second time.
    const_cast<httplib::Request&>(request).ranges.clear();

    const Lookup lookup = LookUp(root_, canonicalRoot_, request.path);
    if (lookup.status != 200) {
        response.status = lookup.status;
        return;
    }
    auto in = std::make_shared<std::ifstream>(lookup.file, std::ios::binary);
    std::error_code error;
    const unsigned long long total = fs::file_size(lookup.file, error);
    if (!*in || error) {
        response.status = 403;
        return;
    }
    response.set_header("Accept-Ranges", "bytes");

    const ByteRange range = ParseByteRange(request.get_header_value("Range"), total);
    unsigned long long first = 0;
    unsigned long long length = total;
    switch (range.kind) {
        case ByteRange::Kind::Unsatisfiable:
            response.status = 416;
            response.set_header("Content-Range", "bytes */" + std::to_string(total));
            return;
        case ByteRange::Kind::Part:
            response.status = 206;
            response.set_header("Content-Range", "bytes " + std::to_string(range.first) + "-" +
                                                     std::to_string(range.last) + "/" +
                                                     std::to_string(total));
            first = range.first;
            length = range.last - range.first + 1;
            break;
        case ByteRange::Kind::Whole:
            response.status = 200;
            break;
    }
    if (length == 0) {
        response.set_content("", "application/octet-stream");
        return;
    }
    response.set_content_provider(
        static_cast<std::size_t>(length), "application/octet-stream",
        [in, first, buffer = std::make_shared<std::vector<char>>(kChunk)](
            std::size_t offset, std::size_t size, httplib::DataSink& sink) {
            in->clear();
            in->seekg(static_cast<std::streamoff>(first + offset));
            in->read(buffer->data(), static_cast<std::streamsize>(std::min(size, kChunk)));
            const auto got = static_cast<std::size_t>(in->gcount());
            // A file cut short while it is sent ends the connection.
            return got > 0 && sink.write(buffer->data(), got);
        });
}

}  // namespace release
