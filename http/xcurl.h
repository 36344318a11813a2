#pragma once
// One libcurl easy handle that performs configured HTTP GET requests.

#include <cstddef>
#include <string_view>

typedef void CURL;

// Whether an address is an http:// or https:// address (the scheme in any case): the only
// requests this program makes.
bool IsWebAddress(std::string_view url);

class xcurl {
public:
    // Initialises libcurl once per process, then creates the handle (null when that failed).
    xcurl();
    xcurl(const xcurl&) = delete;
    xcurl& operator=(const xcurl&) = delete;
    virtual ~xcurl();

    // The construction steps again; 0 with a handle, -1 without.
    virtual int Init();
    // Every option back to libcurl's default.
    virtual void Reset();
    // Frees the handle; the next Perform makes a new one.
    void ReleaseHandle();
    // Takes received bytes; returns how many it consumed (fewer stops the transfer).
    virtual std::size_t OnWrite(const char* data, std::size_t size, std::size_t count);
    virtual int OnProgress() { return 1; }

    // One GET of url from byte resumeFrom on (0: the whole resource) with a limit of timeout
    // seconds on the whole transfer (0: none), 20 s on the connection and stallSeconds without
    // a received byte. Only http and https, also for redirects (at most 10). True when the
    // transfer completed with a final status of 200 to 299. A 302 that libcurl did not follow
    // is requested once more at its target, with the same offset and limit. The handle is made
    // for the request and freed after it; its connection stays open for the next request to
    // the same server.
    bool Perform(const char* url, long resumeFrom, long timeout);

    // Seconds without a received byte after which a transfer fails.
    long stallSeconds = 60;

    // The final status of the last Perform (0 when there was none).
    long LastStatus() const { return lastStatus_; }

protected:
    // The status of the reply being received (0 before its headers); for the write path.
    long CurrentStatus() const;
    // The length that the reply being received announces; -1 when it announces none.
    long long CurrentContentLength() const;

    CURL* handle = nullptr;

private:
    bool PerformOnce(const char* url, long resumeFrom, long timeout, bool followRedirect);
    long lastStatus_ = 0;
};
