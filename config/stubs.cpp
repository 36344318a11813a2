// Placeholder bodies until the configuration subsystem is written.
#include "config/file_digest.h"
#include "config/file_dz.h"
#include "config/file_list.h"
#include "config/path_functions.h"
#include "config/path_store.h"
#include "config/server_config.h"
std::u16string ToWide(const std::string&) { return {}; }
std::string ToNarrow(const std::u16string&) { return {}; }
std::string DecimalText(std::int32_t) { return {}; }
std::u16string DecimalTextW(std::int32_t) { return {}; }
bool GetModulePath(std::u16string&) { return false; }
bool GetTempFolder(std::u16string&) { return false; }
std::u16string TrimSeparators(const std::u16string& p) { return p; }
std::u16string ParentFolder(const std::u16string& p) { return p; }
std::u16string JoinPath(const std::u16string& f, const std::u16string& n) { return f + n; }
bool IsFolder(const std::u16string&) { return false; }
bool EnsureFolder(const std::u16string&) { return false; }
bool CreateFolders(const std::u16string&) { return false; }
void CreateParentFolders(const std::string&) {}
bool DeletePath(const std::u16string&, bool) { return false; }
bool DeleteFileAt(const std::string&) { return false; }
bool MakeWorkFolder(const std::u16string&, std::u16string&) { return false; }
void RecreateWorkFolders(const std::string&, const std::string&) {}
std::string WithTrailingBackslash(const std::string& p) { return p; }
std::string WithoutTrailingBackslash(const std::string& p) { return p; }
bool PathExistsA(const std::string&) { return false; }
bool IsFolderA(const std::string&) { return false; }
void InitPathStore(PathStore&) {}
JsonLoader::JsonLoader() : root(&document_), allocator_(&document_.GetAllocator()) {}
JsonLoader::JsonLoader(rapidjson::Value& object, Allocator& allocator) : root(&object), allocator_(&allocator) {}
bool JsonLoader::Parse(const std::string&) { return false; }
bool JsonLoader::LoadFile(const std::string&) { return false; }
std::string JsonLoader::GetString(const char*) { return {}; }
std::int32_t JsonLoader::GetNumber(const char*) { return 0; }
rapidjson::Value& JsonLoader::GetArray(const char*) { return *root; }
rapidjson::Value& JsonLoader::GetObject(const char*) { return *root; }
std::string JsonText(const rapidjson::Value&) { return {}; }
std::int32_t JsonInt32(const rapidjson::Value&) { return 0; }
bool ServerConfig::Parse(const std::string&) { return false; }
bool ServerConfig::Fetch() { return false; }
std::string ServerConfig::GetDownloadBase() { return {}; }
std::string MakeServerUrl(CServer& s, const std::string& p) { return s.GetDownloadBase() + p; }
std::string ServiceAddressUrl() { return {}; }
std::string FileDZ::NoticeText() const { return {}; }
bool FileDZLoader::Parse(const std::string&) { return false; }
bool LocalFileDZ::Load() { return false; }
bool ServerFileDZ::Fetch() { return false; }
bool ServerFileDZ::Save() { return false; }
bool VersionSortsBefore(const std::string& a, const std::string& b) { return a < b; }
void FileInfoItemHash::Clear() {}
FileInfoItem* FileInfoItemHash::Find(const std::string&) const { return nullptr; }
FileInfoItem& FileInfoItemHash::Insert(std::unique_ptr<FileInfoItem> item) { items_.push_back(std::move(item)); return *items_.back(); }
bool FileListLoader::Parse(const std::string&) { return false; }
bool LocalFileList::Load() { return false; }
bool ServerFileList::Fetch() { return false; }
bool ServerFileList::Save() { return false; }
bool ServerFileList::IsContained(bool) const { return false; }
bool IsContainedRelativePath(const std::string&) { return false; }
bool IsCheckableDigest(const std::string&) { return false; }
std::optional<std::string> FileMd5(const std::string&) { return {}; }
bool FileMatchesDigest(const std::string&, const std::string&) { return false; }
