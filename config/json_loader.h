#pragma once
// The JSON-backed base of the server configuration and both manifests. A loader holds the
// top-level members of the documents it read; key reads are lenient and never throw.

#include <cstdint>
#include <stdexcept>
#include <string>

#include <rapidjson/document.h>

// A file that exists but cannot be opened, read, created or written.
class FileAccessError : public std::runtime_error {
public:
    explicit FileAccessError(const std::string& path)
        : std::runtime_error("cannot access file: " + path) {}
};

class JsonLoader {
public:
    using Allocator = rapidjson::Document::AllocatorType;

    JsonLoader();
    // A temporary loader whose key reads go to a nested object of another loader.
    JsonLoader(rapidjson::Value& object, Allocator& allocator);
    JsonLoader(const JsonLoader&) = delete;
    JsonLoader& operator=(const JsonLoader&) = delete;
    virtual ~JsonLoader() = default;

    // Reads one JSON object (nothing but white space may follow) and adds its members to those
    // already held. False for any other document, a document nested deeper than 32 levels, a
    // repeated member name at any depth, or a member already held; members read before the
    // error stay.
    virtual bool Parse(const std::string& text);
    // Reads a whole file (up to its first zero byte) and Parses it. False when the file is
    // missing or empty; throws FileAccessError when it exists but cannot be opened or read.
    virtual bool LoadFile(const std::string& path);

    // Modifying member access on the object that root points to: a missing member is added, a
    // member of another type is replaced by the empty value of the asked type.
    std::string GetString(const char* key);
    // A number truncated toward zero; outside the signed 32-bit range it saturates.
    std::int32_t GetNumber(const char* key);
    rapidjson::Value& GetArray(const char* key);

    // The object that key reads go to: the loader's own document, or a nested object.
    rapidjson::Value* root;

protected:
    // The file's text up to its first zero byte, as LoadFile reads it: false when the file is
    // missing or that text is empty; throws FileAccessError when it cannot be read.
    static bool ReadText(const std::string& path, std::string& text);
    Allocator& allocator() { return *allocator_; }
    // The member of the given type under key, as the Get functions above read it.
    rapidjson::Value& Member(const char* key, rapidjson::Type type);

private:
    rapidjson::Document document_;
    Allocator* allocator_;
};

// The text of a JSON string value, and a JSON number as a signed 32-bit integer (truncated toward
// zero, saturated outside the range); "" and 0 for other types.
std::string JsonText(const rapidjson::Value& value);
std::int32_t JsonInt32(const rapidjson::Value& value);
