#include "tests/support/http_test_server.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>

#include <httplib.h>

#include "core/path_functions.h"
#include "tools/byte_range.h"

namespace testsupport {
namespace {

constexpr std::size_t kChunk = 16 * 1024;

bool IsSuccess(int status) {
    return status == 200 || status == 206;
}

std::optional<std::string> ReadWhole(const std::filesystem::path& path) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error))
        return std::nullopt;
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

HttpTestServer::HttpTestServer() : server_(std::make_unique<httplib::Server>()) {
    // An idle kept-alive connection would hold up the stop for this long.
    server_->set_keep_alive_timeout(1);
    server_->Get(R"([\s\S]*)", [this](const httplib::Request& request,
                                      httplib::Response& response) { Handle(request, response); });
    port_ = server_->bind_to_any_port("127.0.0.1");
    if (port_ <= 0)
        throw std::runtime_error("test server: cannot bind to 127.0.0.1");
    thread_ = std::thread([this] { server_->listen_after_bind(); });
    // A stop that came before the loop started would be lost.
    while (!server_->is_running())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

HttpTestServer::~HttpTestServer() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ending_ = true;
    }
    released_.notify_all();
    server_->stop();
    if (thread_.joinable())
        thread_.join();
}

std::string HttpTestServer::HostPort() const {
    return "127.0.0.1:" + std::to_string(port_);
}

std::string HttpTestServer::BaseUrl() const {
    return "http://" + HostPort() + "/";
}

void HttpTestServer::Set(const std::string& path, Reply reply) {
    std::lock_guard<std::mutex> lock(mutex_);
    replies_[path] = std::move(reply);
}

void HttpTestServer::ServeFolder(const std::filesystem::path& root, const std::string& urlPrefix) {
    std::lock_guard<std::mutex> lock(mutex_);
    folders_.emplace_back(urlPrefix, root);
}

void HttpTestServer::SetFault(const std::string& path, Reply fault) {
    std::lock_guard<std::mutex> lock(mutex_);
    faults_[path] = std::move(fault);
}

void HttpTestServer::ClearFault(const std::string& path) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        faults_.erase(path);
        ++releases_;
    }
    released_.notify_all();
}

void HttpTestServer::WaitForRelease(unsigned seen) {
    std::unique_lock<std::mutex> lock(mutex_);
    released_.wait(lock, [&] { return ending_ || releases_ != seen; });
}

void HttpTestServer::KeepConnections(bool keep) {
    std::lock_guard<std::mutex> lock(mutex_);
    keepConnections_ = keep;
}

std::vector<RecordedRequest> HttpTestServer::Requests() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
}

void HttpTestServer::ClearRequests() {
    std::lock_guard<std::mutex> lock(mutex_);
    requests_.clear();
}

void HttpTestServer::Handle(const httplib::Request& request, httplib::Response& response) {
    RecordedRequest record;
    record.method = request.method;
    record.path = request.path;
    record.target = request.target;
    record.range = request.get_header_value("Range");
    record.remotePort = request.remote_port;
    for (const auto& header : request.headers)
        record.headers.insert(header);

    // Ranges are answered here, under the reply's rules; the library must not cut the body again.
    const_cast<httplib::Request&>(request).ranges.clear();

    Reply reply;
    bool found = false;
    unsigned releasesSeen = 0;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        releasesSeen = releases_;
        if (!keepConnections_)
            response.set_header("Connection", "close");
        requests_.push_back(record);
        const auto exact = replies_.find(request.path);
        const auto fault = faults_.find(request.path);
        if (exact != replies_.end()) {
            reply = exact->second;
            found = true;
        } else if (fault != faults_.end() &&
                   (!fault->second.body.empty() || !IsSuccess(fault->second.status))) {
            reply = fault->second;
            found = true;
        } else {
            for (const auto& [prefix, root] : folders_) {
                if (request.path.compare(0, prefix.size(), prefix) != 0)
                    continue;
                const std::string relative = request.path.substr(prefix.size());
                if (!IsContainedRelativePath(relative)) {
                    reply = Reply{};
                    reply.status = 403;
                    found = true;
                    break;
                }
                const auto bytes = ReadWhole(ServedFilePath(root, relative));
                if (!bytes)
                    continue;
                reply = fault != faults_.end() ? fault->second : Reply{};
                reply.body = *bytes;
                found = true;
                break;
            }
        }
    }
    if (!found) {
        reply = Reply{};
        reply.status = 404;
        reply.body = "not found";
    }

    if (reply.delay.count() > 0)
        std::this_thread::sleep_for(reply.delay);

    for (const auto& header : reply.headers)
        response.set_header(header.first, header.second);
    if (!reply.location.empty())
        response.set_header("Location", reply.location);

    std::string body = std::move(reply.body);
    response.status = reply.status;
    if (IsSuccess(reply.status) && !reply.ignoreRange) {
        const std::size_t total = body.size();
        const release::ByteRange range = release::ParseByteRange(record.range, total);
        if (range.kind == release::ByteRange::Kind::Unsatisfiable) {
            response.status = 416;
            response.set_header("Content-Range", "bytes */" + std::to_string(total));
            body.clear();
        } else if (range.kind == release::ByteRange::Kind::Part) {
            response.status = 206;
            response.set_header("Content-Range", "bytes " + std::to_string(range.first) + "-" +
                                                     std::to_string(range.last) + "/" +
                                                     std::to_string(total));
            body = body.substr(range.first, range.last - range.first + 1);
        }
    }

    if (!reply.cutAfter && reply.chunkDelay.count() == 0 && !reply.holdAfter) {
        response.set_content(body, "application/octet-stream");
        return;
    }
    const auto shared = std::make_shared<std::string>(std::move(body));
    const std::size_t limit =
        reply.cutAfter ? std::min(*reply.cutAfter, shared->size()) : shared->size();
    const auto chunkDelay = reply.chunkDelay;
    const std::size_t holdAt = reply.holdAfter.value_or(shared->size());
    response.set_content_provider(
        shared->size(), "application/octet-stream",
        [this, shared, limit, chunkDelay, holdAt, releasesSeen, held = false](
            std::size_t offset, std::size_t length, httplib::DataSink& sink) mutable {
            if (offset > 0 && chunkDelay.count() > 0)
                std::this_thread::sleep_for(chunkDelay);
            if (offset >= holdAt && !held) {
                held = true;
                WaitForRelease(releasesSeen);
            }
            if (offset >= limit)
                return false;  // drops the connection mid-body
            // A held reply's first part ends exactly at the hold.
            const std::size_t end = offset < holdAt ? std::min(limit, holdAt) : limit;
            const std::size_t n = std::min({length, kChunk, end - offset});
            return sink.write(shared->data() + offset, n);
        });
}

}  // namespace testsupport
