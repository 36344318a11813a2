// The server's version notice on any text: it is read without harm, its notes all reach the
// text that the dialog shows, and the version order is a strict order on whatever strings it
// holds.

#include <cstddef>
#include <cstdint>
#include <string>

#include "config/file_dz.h"
#include "core/path_functions.h"
#include "fuzz/fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    ServerFileDZ notice;
    notice.Parse(text);

    const std::string shown = notice.NoticeText();
    FUZZ_CHECK(shown.empty() == notice.notices.empty());
    std::size_t from = 0;
    for (std::size_t i = 0; i < notice.notices.size(); ++i) {
        // "N、" in GBK, then the note.
        const std::string numbered =
            DecimalText(static_cast<std::int32_t>(i + 1)) + "\xA1\xA2" + notice.notices[i];
        const std::size_t at = shown.find(numbered, from);
        FUZZ_CHECK(at != std::string::npos);
        from = at + numbered.size();
    }

    const std::string& a = notice.version;
    const std::string& b = notice.id;
    const std::string c = notice.notices.empty() ? std::string() : notice.notices[0];
    FUZZ_CHECK(!VersionSortsBefore(a, a));
    FUZZ_CHECK(!(VersionSortsBefore(a, b) && VersionSortsBefore(b, a)));
    if (VersionSortsBefore(a, b) && VersionSortsBefore(b, c)) {
        FUZZ_CHECK(VersionSortsBefore(a, c));
    }
    if (a != b) {
        FUZZ_CHECK(VersionSortsBefore(a, b) != VersionSortsBefore(b, a));
    }
    return 0;
}
