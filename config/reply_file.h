#pragma once
// Fetching, loading and saving a manifest: the steps that both manifests share.

#include <cstdint>
#include <string>

class JsonLoader;
class ServerConfig;

// Fetches a manifest by name from the download base (30 s) into replyText (up to its first zero
// byte), which is emptied first; false without a configuration, when the request fails or when the
// reply is longer than maxBytes.
bool FetchReplyText(ServerConfig* config, const char* name, std::int32_t maxBytes,
                    std::string& replyText);

// The same for a binary file: every byte of the reply.
bool FetchReplyBytes(ServerConfig* config, const char* name, std::int32_t maxBytes,
                     std::string& reply);

// The largest replies that are read into memory.
constexpr std::int32_t kMaxServiceReplyBytes = 1 << 20;  // service reply, version notice
constexpr std::int32_t kMaxFileListBytes = 64 << 20;

// Loads an installed manifest: false when nothing or a folder is at the path.
bool LoadManifestFile(JsonLoader& loader, const std::string& path);

// Writes the bytes to the file at a narrow path, creating or truncating it; whatever stands at
// the path (a file or a folder tree) is deleted first. Throws FileAccessError when the file
// cannot be created or written in full.
void WriteReplyFile(const std::string& path, const std::string& bytes);
