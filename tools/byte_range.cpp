#include "tools/byte_range.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstddef>
#include <optional>
#include <system_error>

namespace release {
namespace {

std::optional<unsigned long long> Number(const std::string& text) {
    if (text.empty() ||
        !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return std::nullopt;
    }
    unsigned long long value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

}  // namespace

ByteRange ParseByteRange(const std::string& header, unsigned long long total) {
    ByteRange range;
    std::string text;
    for (char c : header) {
        if (c != ' ' && c != '\t') {
            text += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
    }
    const std::string unit = "bytes=";
    if (text.compare(0, unit.size(), unit) != 0 || text.find(',') != std::string::npos) {
        return range;
    }
    text.erase(0, unit.size());
    const std::size_t dash = text.find('-');
    if (dash == std::string::npos) {
        return range;
    }
    const std::string firstText = text.substr(0, dash);
    const std::string lastText = text.substr(dash + 1);
    if (firstText.empty()) {
        // The last N bytes.
        const auto suffix = Number(lastText);
        if (!suffix) {
            return range;
        }
        if (*suffix == 0 || total == 0) {
            range.kind = ByteRange::Kind::Unsatisfiable;
            return range;
        }
        range.kind = ByteRange::Kind::Part;
        range.first = total - std::min(*suffix, total);
        range.last = total - 1;
        return range;
    }
    const auto first = Number(firstText);
    const auto last =
        lastText.empty() ? std::optional<unsigned long long>(~0ULL) : Number(lastText);
    if (!first || !last || *last < *first) {
        return range;
    }
    if (*first >= total) {
        range.kind = ByteRange::Kind::Unsatisfiable;
        return range;
    }
    range.kind = ByteRange::Kind::Part;
    range.first = *first;
    range.last = std::min(*last, total - 1);
    return range;
}

}  // namespace release
