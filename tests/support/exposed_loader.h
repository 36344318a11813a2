#pragma once
// The JSON loader with what only its tests reach: its allocator, and the lenient access to a
// nested object.

#include "config/json_loader.h"

namespace testsupport {

class ExposedLoader : public JsonLoader {
public:
    using JsonLoader::allocator;
    // Like GetArray: a missing member is added, a member of another type becomes an empty object.
    rapidjson::Value& GetObject(const char* key) { return Member(key, rapidjson::kObjectType); }
};

}  // namespace testsupport
