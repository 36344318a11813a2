#include "core/release_signing.h"

platform::Bytes ReleaseSignedMessage(std::string_view notice, std::string_view fileList) {
    platform::Bytes message = platform::DigestOf(platform::DigestKind::Sha256, notice);
    const platform::Bytes list = platform::DigestOf(platform::DigestKind::Sha256, fileList);
    if (message.size() != 32 || list.size() != 32) {
        return {};
    }
    message.insert(message.end(), list.begin(), list.end());
    return message;
}
