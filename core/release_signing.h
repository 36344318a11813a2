#pragma once
// What a release's signature covers, for the release tool that signs and the updater that checks.

#include <string_view>

#include "platform/digest.h"

// The signature's file, beside the two manifests.
inline constexpr const char* kReleaseSignatureName = "release.sig";

// The signed message: the SHA-256 of the notice, then that of the file list, each byte for byte
// as served, so that a notice and a list of different releases never pass together. Empty when
// the system cannot make the digests.
platform::Bytes ReleaseSignedMessage(std::string_view notice, std::string_view fileList);
