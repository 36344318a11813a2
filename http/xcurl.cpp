#include "http/xcurl.h"

#include <array>
#include <cctype>
#include <mutex>
#include <string>

#include <curl/curl.h>

namespace {

// Set once libcurl's global initialisation succeeded; never cleared. The first downloader is
// built on the main thread before the worker exists, so no lock is needed.
bool curlInitialised = false;

// Connections, name lookups and TLS sessions outlive the handle of one request, so that a plan
// of many files from one server travels over one kept-alive connection. Made with libcurl's
// global state and kept to the end of the process; null when libcurl could not make it.
CURLSH* sharedState = nullptr;
std::array<std::mutex, CURL_LOCK_DATA_LAST> sharedLocks;

void LockShared(CURL*, curl_lock_data data, curl_lock_access, void*) {
    sharedLocks[static_cast<std::size_t>(data)].lock();
}

void UnlockShared(CURL*, curl_lock_data data, void*) {
    sharedLocks[static_cast<std::size_t>(data)].unlock();
}

CURLSH* MakeSharedState() {
    CURLSH* share = curl_share_init();
    if (share == nullptr) {
        return nullptr;
    }
    if (curl_share_setopt(share, CURLSHOPT_LOCKFUNC, &LockShared) != CURLSHE_OK ||
        curl_share_setopt(share, CURLSHOPT_UNLOCKFUNC, &UnlockShared) != CURLSHE_OK ||
        curl_share_setopt(share, CURLSHOPT_SHARE, CURL_LOCK_DATA_CONNECT) != CURLSHE_OK ||
        curl_share_setopt(share, CURLSHOPT_SHARE, CURL_LOCK_DATA_DNS) != CURLSHE_OK ||
        curl_share_setopt(share, CURLSHOPT_SHARE, CURL_LOCK_DATA_SSL_SESSION) != CURLSHE_OK) {
        curl_share_cleanup(share);
        return nullptr;
    }
    return share;
}

// libcurl's global state, made once: true when it is ready.
bool InitialiseCurl() {
    if (!curlInitialised && curl_global_init(CURL_GLOBAL_ALL) == CURLE_OK) {
        curlInitialised = true;
        sharedState = MakeSharedState();
    }
    return curlInitialised;
}

// libcurl calls a plain function; the object is the user pointer.
std::size_t WriteToObject(char* data, std::size_t size, std::size_t count, void* user) {
    try {
        return static_cast<xcurl*>(user)->OnWrite(data, size, count);
    } catch (...) {
        // Nothing may unwind through libcurl; consuming nothing stops the transfer.
        return 0;
    }
}

}  // namespace

bool IsWebAddress(std::string_view url) {
    const auto startsWith = [url](std::string_view scheme) {
        if (url.size() < scheme.size()) {
            return false;
        }
        for (std::size_t i = 0; i < scheme.size(); ++i) {
            if (std::tolower(static_cast<unsigned char>(url[i])) != scheme[i]) {
                return false;
            }
        }
        return true;
    };
    return startsWith("http://") || startsWith("https://");
}

xcurl::xcurl() {
    // Only libcurl's global state: the handle exists while a request runs, so that a plan of many
    // downloads does not hold one handle per file.
    InitialiseCurl();
}

xcurl::~xcurl() {
    ReleaseHandle();
}

int xcurl::Init() {
    ReleaseHandle();
    if (InitialiseCurl()) {
        handle = curl_easy_init();
    }
    return handle != nullptr ? 0 : -1;
}

void xcurl::Reset() {
    if (handle != nullptr) {
        curl_easy_reset(handle);
    }
}

void xcurl::ReleaseHandle() {
    if (handle != nullptr) {
        curl_easy_cleanup(handle);
        handle = nullptr;
    }
}

std::size_t xcurl::OnWrite(const char*, std::size_t size, std::size_t count) {
    return size * count;
}

long xcurl::CurrentStatus() const {
    long status = 0;
    if (handle == nullptr ||
        curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status) != CURLE_OK) {
        return 0;
    }
    return status;
}

long long xcurl::CurrentContentLength() const {
    curl_off_t length = -1;
    if (handle == nullptr ||
        curl_easy_getinfo(handle, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length) != CURLE_OK) {
        return -1;
    }
    return length;
}

bool xcurl::Perform(const char* url, long resumeFrom, long timeout) {
    lastStatus_ = 0;
    if (handle == nullptr && Init() != 0) {
        return false;
    }
    const bool ok = PerformOnce(url, resumeFrom, timeout, true);
    ReleaseHandle();
    return ok;
}

bool xcurl::PerformOnce(const char* url, long resumeFrom, long timeout, bool followRedirect) {
    Reset();
    if (handle == nullptr) {
        return false;
    }
    if (sharedState != nullptr) {
        curl_easy_setopt(handle, CURLOPT_SHARE, sharedState);
    }
    curl_easy_setopt(handle, CURLOPT_HEADER, 0L);
    curl_easy_setopt(handle, CURLOPT_URL, url);
    curl_easy_setopt(handle, CURLOPT_HTTPGET, 1L);
    curl_easy_setopt(handle, CURLOPT_TIMEOUT, timeout);
    curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT, 20L);
    curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, &WriteToObject);
    curl_easy_setopt(handle, CURLOPT_WRITEDATA, static_cast<void*>(this));
    curl_easy_setopt(handle, CURLOPT_FOLLOWLOCATION, 1L);
    // The server's addresses may point anywhere: only web requests leave this program, never a
    // request to another kind of service on this machine or beyond, and no endless redirect.
    curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(handle, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(handle, CURLOPT_MAXREDIRS, 10L);
    // A server that stops sending ends the attempt even without a time limit on the transfer.
    curl_easy_setopt(handle, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(handle, CURLOPT_LOW_SPEED_TIME, stallSeconds);
    if (resumeFrom != 0) {
        curl_easy_setopt(handle, CURLOPT_RESUME_FROM, resumeFrom);
    }

    const CURLcode result = curl_easy_perform(handle);
    // Kept also for a failed transfer: a refused resume is told by the status that came with it.
    lastStatus_ = CurrentStatus();
    if (result != CURLE_OK) {
        return false;
    }
    if (lastStatus_ >= 200 && lastStatus_ <= 299) {
        return true;
    }
    if (lastStatus_ == 302 && followRedirect) {
        char* target = nullptr;
        if (curl_easy_getinfo(handle, CURLINFO_REDIRECT_URL, &target) != CURLE_OK ||
            target == nullptr || !IsWebAddress(target)) {
            return false;
        }
        // The target lives in the handle, which the next request resets.
        const std::string next(target);
        return PerformOnce(next.c_str(), resumeFrom, timeout, false);
    }
    return false;
}
