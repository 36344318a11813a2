#pragma once
// One "Range" header ("bytes=N-", "bytes=N-M" or "bytes=-N") against a file of total bytes, for
// the release server and the tests' HTTP server.
//
// cpp-httplib parses the header before a handler runs and answers one it cannot parse
// ("bytes=x-", "bytes=20-10") with 416 itself; a range it does parse is read the same here. What
// it would answer is wrong at the end of the file (a start at the end gets "bytes 100-99/100", or
// 206 and no body when streamed; a last byte past the end is announced as asked) and several
// ranges get a multipart body, so the servers clear Request::ranges and answer from
// ParseByteRange.

#include <string>

namespace release {

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
