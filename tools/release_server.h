#pragma once
// The release tool's embedded HTTP server: serves an update tree read-only on 127.0.0.1, with
// single Range requests (206, 416 for a start at or past the end), percent-escaped paths
// (decoded to the bytes of the file name) and nothing outside the tree (".." is refused).

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>

namespace httplib {
class Server;
struct Request;
struct Response;
}  // namespace httplib

namespace release {

class ReleaseServer {
public:
    // log receives one line per request (from the server's threads, one call at a time).
    explicit ReleaseServer(std::filesystem::path root,
                           std::function<void(const std::string&)> log = {});
    ReleaseServer(const ReleaseServer&) = delete;
    ReleaseServer& operator=(const ReleaseServer&) = delete;
    ~ReleaseServer();

    // Binds 127.0.0.1:port (0 = a free port) and serves on a thread of its own; false when the
    // port cannot be bound or the root is not a folder.
    bool Start(int port = 0);
    int port() const { return port_; }
    // Stops serving and waits for the server's thread; also done by the destructor.
    void Stop();

private:
    void Handle(const httplib::Request& request, httplib::Response& response);

    std::filesystem::path root_;
    std::filesystem::path canonicalRoot_;
    std::function<void(const std::string&)> log_;
    std::unique_ptr<httplib::Server> server_;
    std::thread thread_;
    int port_ = 0;
};

// One "Range" header ("bytes=N-", "bytes=N-M" or "bytes=-N") against a file of total bytes.
// Served, a header that the embedded library cannot parse ("bytes=x-", "bytes=20-10") never gets
// here: the library answers it with 416 itself.
struct ByteRange {
    enum class Kind {
        Whole,          // no header, several ranges or a malformed one: the whole file (200)
        Part,           // bytes first..last, both included (206)
        Unsatisfiable,  // starts at or past the end (416)
    };
    Kind kind = Kind::Whole;
    unsigned long long first = 0;
    unsigned long long last = 0;
};
ByteRange ParseByteRange(const std::string& header, unsigned long long total);

}  // namespace release
