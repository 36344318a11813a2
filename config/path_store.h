#pragma once
// The installation folder, the two work folders and the four manifest paths of a run. Folder
// paths end with one "\"; file paths are their folder followed directly by the file name.

#include <string>

class PathStore {
public:
    virtual ~PathStore() = default;

    std::string installFolder;
    std::string downloadFolder;
    std::string compressedFolder;
    std::string downloadFileListPath;
    std::string installFileListPath;
    std::string downloadNoticePath;
    std::string installNoticePath;
};

// Fills the store from the executable's folder and the temporary folder; creates both work
// folders on disk. A folder that GBK cannot name is left empty. A work folder that cannot be had,
// or that GBK cannot name, stays empty.
void InitPathStore(PathStore& store);
