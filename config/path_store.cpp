#include "config/path_store.h"

#include "config/path_functions.h"

void InitPathStore(PathStore& store) {
    // Without a module path the parent of "" is ".", so the installation is the current folder.
    std::u16string modulePath;
    GetModulePath(modulePath);
    store.installFolder = WithTrailingBackslash(ToNarrow(ParentFolder(modulePath)));

    std::u16string download;
    std::u16string compressed;
    MakeWorkFolder(u"A092FC32oupd", download);
    MakeWorkFolder(u"orvupdatezx", compressed);
    store.downloadFolder = WithTrailingBackslash(ToNarrow(download));
    store.compressedFolder = WithTrailingBackslash(ToNarrow(compressed));

    store.downloadNoticePath = store.downloadFolder + "fldz.update";
    store.installNoticePath = store.installFolder + "fldz.update";
    store.downloadFileListPath = store.downloadFolder + "filelist.update";
    store.installFileListPath = store.installFolder + "filelist.update";
}
