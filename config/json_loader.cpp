#include "config/json_loader.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <string_view>
#include <unordered_set>
#include <utility>
#include <vector>

#include <rapidjson/memorystream.h>
#include <rapidjson/reader.h>

#include "core/path_functions.h"
#include "platform/files.h"

namespace {

// The deepest nesting that a document may have, counting its own object as the first level;
// real manifests use three.
constexpr std::size_t kMaxJsonDepth = 32;

// Builds the values of one document and adds its top-level members to the target object as each
// one completes, so that members read before an error stay, as with any incremental reader.
// Refuses a document that is not an object and a member name repeated in any object.
class MemberBuilder : public rapidjson::BaseReaderHandler<rapidjson::UTF8<>, MemberBuilder> {
public:
    MemberBuilder(rapidjson::Value& target, JsonLoader::Allocator& allocator)
        : target_(target), allocator_(allocator) {}

    bool Null() { return Add(rapidjson::Value()); }
    bool Bool(bool b) { return Add(rapidjson::Value(b)); }
    bool Int(int i) { return Add(rapidjson::Value(i)); }
    bool Uint(unsigned u) { return Add(rapidjson::Value(u)); }
    bool Int64(std::int64_t i) { return Add(rapidjson::Value(i)); }
    bool Uint64(std::uint64_t u) { return Add(rapidjson::Value(u)); }
    bool Double(double d) { return Add(rapidjson::Value(d)); }
    bool String(const char* text, rapidjson::SizeType length, bool) {
        return Add(rapidjson::Value(text, length, allocator_));
    }

    bool StartObject() {
        if (!started_) {
            started_ = true;
            // The document's own object: its members go to the target. Names the target already
            // holds count as repeated.
            Frame top(rapidjson::kObjectType);
            top.isTop = true;
            for (auto member = target_.MemberBegin(); member != target_.MemberEnd(); ++member) {
                top.names.emplace(member->name.GetString(), member->name.GetStringLength());
            }
            frames_.push_back(std::move(top));
            return true;
        }
        return Open(rapidjson::kObjectType);
    }
    bool Key(const char* text, rapidjson::SizeType length, bool) {
        Frame& frame = frames_.back();
        if (!frame.names.emplace(text, length).second) {
            return false;
        }
        frame.key.SetString(text, length, allocator_);
        return true;
    }
    bool EndObject(rapidjson::SizeType) { return End(); }
    bool StartArray() {
        if (!started_) {
            return false;  // the document must be an object
        }
        return Open(rapidjson::kArrayType);
    }
    bool EndArray(rapidjson::SizeType) { return End(); }

private:
    struct Frame {
        explicit Frame(rapidjson::Type type) : value(type) {}
        rapidjson::Value value;
        rapidjson::Value key;
        std::unordered_set<std::string> names;
        bool isTop = false;
    };

    // A nested object or array; refused beyond the depth limit, so that a small hostile document
    // cannot make the bookkeeping grow with its nesting.
    bool Open(rapidjson::Type type) {
        if (frames_.size() >= kMaxJsonDepth) {
            return false;
        }
        frames_.emplace_back(type);
        return true;
    }

    bool End() {
        Frame frame = std::move(frames_.back());
        frames_.pop_back();
        return frame.isTop || Add(std::move(frame.value));
    }

    bool Add(rapidjson::Value value) {
        if (frames_.empty()) {
            return false;  // a document that is a bare value, not an object
        }
        Frame& frame = frames_.back();
        if (frame.value.IsArray()) {
            frame.value.PushBack(value, allocator_);
        } else if (frame.isTop) {
            target_.AddMember(frame.key, value, allocator_);
        } else {
            frame.value.AddMember(frame.key, value, allocator_);
        }
        return true;
    }

    rapidjson::Value& target_;
    JsonLoader::Allocator& allocator_;
    std::vector<Frame> frames_;
    bool started_ = false;
};

constexpr std::size_t kReadChunk = 64 * 1024;
constexpr std::uint64_t kMaxReserve = 64u << 20;

}  // namespace

JsonLoader::JsonLoader() : root(&document_), allocator_(&document_.GetAllocator()) {
    document_.SetObject();
}

JsonLoader::JsonLoader(rapidjson::Value& object, Allocator& allocator)
    : root(&object), allocator_(&allocator) {
    if (!root->IsObject()) {
        root->SetObject();
    }
}

bool JsonLoader::Parse(const std::string& text) {
    if (!root->IsObject()) {
        root->SetObject();
    }
    // The text ends at its first zero byte, as a C string would.
    const std::size_t length = std::min(text.find('\0'), text.size());
    rapidjson::MemoryStream stream(text.data(), length);
    MemberBuilder builder(*root, *allocator_);
    rapidjson::Reader reader;
    // Iterative: a deeply nested document cannot exhaust the stack. String bytes pass unchecked,
    // because manifests are GBK text; text after the object is refused.
    return !reader.Parse<rapidjson::kParseIterativeFlag>(stream, builder).IsError();
}

bool JsonLoader::ReadText(const std::string& path, std::string& text) {
    text.clear();
    if (!PathExistsA(path)) {
        return false;
    }
    platform::File file;
    if (!file.Open(path, platform::File::Mode::Read)) {
        throw FileAccessError(path);
    }
    const std::optional<std::uint64_t> size = file.Size();
    if (!size) {
        throw FileAccessError(path);
    }
    if (*size == 0) {
        return false;
    }

    // Read straight into the text at its final size rather than grown and copied; a size that a
    // file list cannot have is not trusted that far, and a file that grows meanwhile is read on.
    // The byte past the size leaves room for the read that finds the end.
    text.resize(static_cast<std::size_t>(std::min<std::uint64_t>(*size, kMaxReserve)) + 1);
    std::size_t used = 0;
    for (;;) {
        if (used == text.size()) {
            text.resize(used + kReadChunk);
        }
        const long got = file.Read(text.data() + used, text.size() - used);
        if (got < 0) {
            throw FileAccessError(path);
        }
        if (got == 0) {
            break;
        }
        const char* zero = static_cast<const char*>(
            std::memchr(text.data() + used, 0, static_cast<std::size_t>(got)));
        if (zero != nullptr) {
            used = static_cast<std::size_t>(zero - text.data());
            break;
        }
        used += static_cast<std::size_t>(got);
    }
    text.resize(used);
    file.Close();
    return !text.empty();
}

bool JsonLoader::LoadFile(const std::string& path) {
    std::string text;
    return ReadText(path, text) && Parse(text);
}

rapidjson::Value& JsonLoader::Member(const char* key, rapidjson::Type type) {
    if (!root->IsObject()) {
        root->SetObject();
    }
    auto found = root->FindMember(key);
    if (found == root->MemberEnd()) {
        root->AddMember(rapidjson::Value(key, *allocator_), rapidjson::Value(type), *allocator_);
        return (root->MemberEnd() - 1)->value;
    }
    rapidjson::Value& value = found->value;
    // Every number is a number, whatever its storage.
    const bool sameType =
        type == rapidjson::kNumberType ? value.IsNumber() : value.GetType() == type;
    if (!sameType) {
        value = rapidjson::Value(type);
    }
    return value;
}

std::string JsonLoader::GetString(const char* key) {
    return JsonText(Member(key, rapidjson::kStringType));
}

std::int32_t JsonLoader::GetNumber(const char* key) {
    return JsonInt32(Member(key, rapidjson::kNumberType));
}

rapidjson::Value& JsonLoader::GetArray(const char* key) {
    return Member(key, rapidjson::kArrayType);
}

std::string JsonText(const rapidjson::Value& value) {
    if (!value.IsString()) {
        return {};
    }
    return std::string(value.GetString(), value.GetStringLength());
}

std::int32_t JsonInt32(const rapidjson::Value& value) {
    constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
    constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
    if (!value.IsNumber()) {
        return 0;
    }
    if (value.IsInt()) {
        return value.GetInt();
    }
    if (value.IsInt64()) {
        return value.GetInt64() < 0 ? kMin : kMax;
    }
    if (value.IsUint64()) {
        return kMax;
    }
    const double number = value.GetDouble();
    if (std::isnan(number)) {
        return 0;
    }
    const double truncated = std::trunc(number);
    if (truncated <= static_cast<double>(kMin)) {
        return kMin;
    }
    if (truncated >= static_cast<double>(kMax)) {
        return kMax;
    }
    return static_cast<std::int32_t>(truncated);
}
