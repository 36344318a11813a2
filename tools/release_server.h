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

}  // namespace release
