#include "config/reply_file.h"

#include "config/json_loader.h"
#include "config/path_functions.h"
#include "platform/files.h"

void WriteReplyFile(const std::string& path, const std::string& bytes) {
    if (PathExistsA(path)) {
        // A folder of that name (left by anything) would keep the file from being written.
        DeletePath(ToWide(path), true);
    }
    platform::File file;
    if (!file.Open(path, platform::File::Mode::CreateTruncate)) {
        throw FileAccessError(path);
    }
    if (!bytes.empty() &&
        file.Write(bytes.data(), bytes.size()) != static_cast<long>(bytes.size())) {
        throw FileAccessError(path);
    }
    file.Close();
}
