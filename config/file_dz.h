#pragma once
// The version notice "fldz.update": the release's ID, version and update notes.

#include <string>
#include <vector>

#include "config/json_loader.h"
#include "core/orv_object.h"

class FileDZ {
public:
    virtual ~FileDZ() = default;

    // "1、" note "\r\n\r\n" "2、" ... with the GBK ideographic comma; "" without notes.
    std::string NoticeText() const;

    std::string id;                    // "ID"
    std::string version;               // "version"
    std::vector<std::string> notices;  // "notice"
};

class FileDZLoader : public JsonLoader, public OrvObject, public FileDZ {
public:
    bool Parse(const std::string& text) override;
};

// The installed copy.
class LocalFileDZ : public FileDZLoader {
public:
    // Loads installNoticePath; false when it is missing, a folder, empty or not parsable.
    bool Load();
};

// The server's copy.
class ServerFileDZ : public FileDZLoader {
public:
    // Fetches "fldz.update" from the download base (30 s) and parses it.
    bool Fetch();
    // Writes the reply byte for byte to downloadNoticePath (anything in the way is deleted
    // first); throws FileAccessError when it cannot be written.
    bool Save();

    std::string replyText;
};

// Byte-string order: true when a sorts before b (bytes unsigned; a prefix sorts first).
bool VersionSortsBefore(const std::string& a, const std::string& b);
