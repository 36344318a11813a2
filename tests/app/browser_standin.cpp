// The browser in the Windows end-to-end tests, where a shell script cannot stand in: it records
// each start as a line "<its own path> <number of arguments>" in browser-started.log beside it.

#include <string>

#include "platform/files.h"
#include "platform/paths.h"
#include "platform/text_codepage.h"

int main(int argc, char**) {
    std::u16string self;
    if (!platform::GetExecutablePath(self)) {
        return 1;
    }
    std::u16string::size_type cut = self.size();
    while (cut > 0 && !platform::IsPathSeparator(self[cut - 1])) {
        --cut;
    }
    const std::string line = platform::Utf16ToAnsi(self) + " " + std::to_string(argc - 1) + "\n";
    platform::File log;
    if (!log.Open(platform::Utf16ToAnsi(self.substr(0, cut)) + "browser-started.log",
                  platform::File::Mode::AppendOrCreate)) {
        return 1;
    }
    return log.Write(line.data(), line.size()) == static_cast<long>(line.size()) ? 0 : 1;
}
