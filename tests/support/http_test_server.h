#pragma once
// A real HTTP server on 127.0.0.1 (an ephemeral port) for tests, running on its own thread, with
// fault injection (status codes, redirects, ignored ranges, cut connections, delays) and a log of
// the requests it received.

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace httplib {
class Server;
struct Request;
struct Response;
}  // namespace httplib

namespace testsupport {

// How the server answers one path.
struct Reply {
    Reply() = default;
    Reply(int status_, std::string body_ = {}) : status(status_), body(std::move(body_)) {}

    int status = 200;
    std::string body;
    std::vector<std::pair<std::string, std::string>> headers;  // extra response headers
    std::string location;                                      // sent as "Location" when not empty
    bool ignoreRange = false;  // answer a Range request with 200 and the whole body
    // Close the connection after this many body bytes, having announced the full length.
    std::optional<std::size_t> cutAfter;
    std::chrono::milliseconds delay{0};       // before answering
    std::chrono::milliseconds chunkDelay{0};  // between body chunks of 16 KiB
    // Send this many body bytes, then hold the rest until a ClearFault or the server's end: a
    // download that stays under way for exactly as long as the test needs it.
    std::optional<std::size_t> holdAfter;
};

struct RecordedRequest {
    std::string method;
    std::string path;    // percent-decoded: the bytes the client meant
    std::string target;  // as sent on the request line
    std::string range;   // the Range header, "" when none
    int remotePort = 0;  // the client's port: requests over one connection share it
    std::multimap<std::string, std::string> headers;
};

class HttpTestServer {
public:
    // Starts listening at once; requests are served until destruction.
    HttpTestServer();
    HttpTestServer(const HttpTestServer&) = delete;
    HttpTestServer& operator=(const HttpTestServer&) = delete;
    ~HttpTestServer();

    int port() const { return port_; }
    std::string HostPort() const;  // "127.0.0.1:PORT"
    std::string BaseUrl() const;   // "http://127.0.0.1:PORT/"

    // Answers the exact (decoded) request path. A 200/206 reply honours "Range: bytes=N-" with
    // 206 and the rest, and answers a start at or past the end with 416.
    void Set(const std::string& path, Reply reply);
    // Serves the files under root for request paths that begin with urlPrefix (e.g. "/files/");
    // the rest of the decoded path names the file by its bytes. ".." segments and absolute
    // paths are refused (403).
    void ServeFolder(const std::filesystem::path& root, const std::string& urlPrefix);
    // Overrides one path of a served folder. The fault's body is used when the fault has one or
    // when its status is not 200/206; otherwise the file's bytes are sent under the fault's
    // rules (cut, ignored range, delays).
    void SetFault(const std::string& path, Reply fault);
    // Also lets every held reply go on.
    void ClearFault(const std::string& path);

    // Replies ask the client to close the connection unless told otherwise: a connection kept
    // open would hold up the server's end for its idle time limit (a second).
    void KeepConnections(bool keep);

    std::vector<RecordedRequest> Requests() const;
    void ClearRequests();

private:
    void Handle(const httplib::Request& request, httplib::Response& response);
    // Blocks a held reply until the releases counter moves past `seen` or the server ends.
    void WaitForRelease(unsigned seen);

    std::unique_ptr<httplib::Server> server_;
    std::thread thread_;
    int port_ = 0;

    mutable std::mutex mutex_;
    std::map<std::string, Reply> replies_;
    std::map<std::string, Reply> faults_;
    std::vector<std::pair<std::string, std::filesystem::path>> folders_;
    std::vector<RecordedRequest> requests_;
    std::condition_variable released_;
    unsigned releases_ = 0;
    bool ending_ = false;
    bool keepConnections_ = false;
};

}  // namespace testsupport
