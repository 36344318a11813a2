#pragma once
// A sample release folder for the release tool's tests, and small helpers around its trees.

#include <filesystem>
#include <map>
#include <string>

#include "tools/release_tree.h"

namespace releasetest {

namespace fs = std::filesystem;

// Relative path (UTF-8, "/") to content.
using Files = std::map<std::string, std::string>;

// Nested folders, a Chinese name, a name with a space and a hyphen, an empty file and a larger
// binary file (3 MiB, partly compressible).
Files SampleFiles();
void WriteFiles(const fs::path& root, const Files& files);
// Every regular file below root by its relative path (raw bytes of the names, "/").
Files ReadTree(const fs::path& root);

// Deterministic bytes: text-like runs mixed with noise.
std::string Sample(std::size_t size, unsigned seed);

// Build options for a tree at out from the folder from, with the fixed base address below.
release::TreeOptions Options(const fs::path& from, const fs::path& out);
inline const std::string kBaseUrl = "http://127.0.0.1:8080/orvel/";

// The member name of a relative UTF-8 path: GBK with "\".
std::string MemberName(const std::string& relativeUtf8);

}  // namespace releasetest
