#include "config/path_store.h"

#include "core/path_functions.h"

namespace {

// A folder as the engine writes it. A character that GBK lacks would turn into "?", which names
// another folder on systems that allow "?" in names; such a folder counts as unavailable.
std::string NarrowFolder(const std::u16string& folder) {
    const std::string narrow = ToNarrow(folder);
    return ToWide(narrow) == folder ? WithTrailingBackslash(narrow) : std::string();
}

}  // namespace

void InitPathStore(PathStore& store) {
    // Without a module path the parent of "" is ".", so the installation is the current folder.
    std::u16string modulePath;
    GetModulePath(modulePath);
    store.installFolder = NarrowFolder(ParentFolder(modulePath));

    std::u16string download;
    std::u16string compressed;
    MakeWorkFolder(u"A092FC32oupd", download);
    MakeWorkFolder(u"orvupdatezx", compressed);
    store.downloadFolder = NarrowFolder(download);
    store.compressedFolder = NarrowFolder(compressed);

    store.downloadNoticePath = store.downloadFolder + "fldz.update";
    store.installNoticePath = store.installFolder + "fldz.update";
    store.downloadFileListPath = store.downloadFolder + "filelist.update";
    store.installFileListPath = store.installFolder + "filelist.update";
}
