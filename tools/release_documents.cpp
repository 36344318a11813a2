#include "tools/release_documents.h"

#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

namespace release {
namespace {

// The writer passes string bytes through unchanged, so GBK texts stay GBK.
using JsonWriter = rapidjson::Writer<rapidjson::StringBuffer>;

void Key(JsonWriter& writer, const std::string& key) {
    writer.Key(key.data(), static_cast<rapidjson::SizeType>(key.size()), true);
}
void Text(JsonWriter& writer, const std::string& text) {
    writer.String(text.data(), static_cast<rapidjson::SizeType>(text.size()), true);
}

}  // namespace

std::string FileListJson(const std::vector<ReleaseFile>& files,
                         const std::vector<PackedFile>& packed, bool withSha256) {
    rapidjson::StringBuffer buffer;
    JsonWriter writer(buffer);
    writer.StartObject();
    for (std::size_t i = 0; i < files.size(); ++i) {
        Key(writer, files[i].memberName);
        writer.StartObject();
        Key(writer, "md5");
        Text(writer, packed[i].md5);
        if (withSha256) {
            Key(writer, "sha256");
            Text(writer, packed[i].sha256);
        }
        Key(writer, "size");
        writer.Int(files[i].size);
        Key(writer, "zxpath");
        Text(writer, files[i].zxPath);
        Key(writer, "zxsize");
        writer.Int(packed[i].zxSize);
        writer.EndObject();
    }
    writer.EndObject();
    return std::string(buffer.GetString(), buffer.GetSize());
}

std::string NoticeJson(const std::string& id, const std::string& version,
                       const std::vector<std::string>& notices) {
    rapidjson::StringBuffer buffer;
    JsonWriter writer(buffer);
    writer.StartObject();
    Key(writer, "ID");
    Text(writer, id);
    Key(writer, "version");
    Text(writer, version);
    Key(writer, "notice");
    writer.StartArray();
    for (const std::string& notice : notices) {
        Text(writer, notice);
    }
    writer.EndArray();
    writer.EndObject();
    return std::string(buffer.GetString(), buffer.GetSize());
}

std::string ServiceReplyJson(const std::string& baseUrl, const std::string& homepage, bool packages,
                             std::int32_t downTime, std::int32_t downRetry) {
    rapidjson::StringBuffer buffer;
    JsonWriter writer(buffer);
    writer.StartObject();
    // The updater only stores "docurl"; the home page is the one document the tree names.
    Key(writer, "docurl");
    Text(writer, homepage);
    Key(writer, "downurl");
    Text(writer, baseUrl + kFilesFolder + "/");
    Key(writer, "downzxurl");
    Text(writer, packages ? baseUrl + kPackagesFolder + "/" : std::string());
    Key(writer, "homepage");
    Text(writer, homepage);
    Key(writer, "downtime");
    writer.Int(downTime);
    Key(writer, "downretry");
    writer.Int(downRetry);
    writer.EndObject();
    return std::string(buffer.GetString(), buffer.GetSize());
}

}  // namespace release
