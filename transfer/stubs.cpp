// Placeholder bodies until the transfer subsystem is written.
#include "transfer/http_downloader.h"
xcurl::xcurl() {}
xcurl::~xcurl() {}
int xcurl::Init() { return -1; }
void xcurl::Reset() {}
std::size_t xcurl::OnWrite(const char*, std::size_t s, std::size_t c) { return s * c; }
bool xcurl::Perform(const char*, long, long) { return false; }
void CMemoryBuffer::Clear() {}
HttpDownloader::HttpDownloader() {}
HttpDownloader::~HttpDownloader() {}
void HttpDownloader::Reset() {}
size_t HttpDownloader::OnWrite(const char*, std::size_t, std::size_t) { return 0; }
void HttpDownloader::OnFileData(int) {}
bool HttpDownloader::DownloadToString(const std::string&, long, std::string&) { return false; }
bool HttpDownloader::DownloadToFile(const std::string&, const std::string&, const std::string&, long) { return false; }
void HttpDownloader::PostCurrentFile(const std::string&) {}
