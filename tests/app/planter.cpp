// Plays another local user against the updater: in a shared temporary folder it takes the work
// folders' names over and over, as folders that everybody may write (with its own file planted at
// each path of a release) and as links to a folder of its own, until a stop file appears.
// Usage: planter TMP STOP RELATIVE-PATH...

#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

int main(int argc, char** argv) {
    if (argc < 3) {
        std::cerr << "usage: planter TMP STOP RELATIVE-PATH...\n";
        return 2;
    }
    const fs::path tmp = argv[1];
    const fs::path stop = argv[2];
    const std::vector<std::string> paths(argv + 3, argv + argc);
    std::vector<std::string> names;
    for (const char* base : {"A092FC32oupd", "orvupdatezx"}) {
        names.push_back(base);
        for (int i = 0; i < 3; ++i) {
            names.push_back(base + std::to_string(i));
        }
    }
    // Where the links point: whatever the updater wrote through one would land here.
    const fs::path theirs = tmp / "theirs";
    std::error_code error;
    fs::create_directory(theirs, error);
    fs::permissions(theirs, fs::perms::all, error);

    bool announced = false;
    for (long round = 0; round < 100000000 && !fs::exists(stop, error); ++round) {
        for (const std::string& name : names) {
            const fs::path at = tmp / name;
            if (round % 2 == 1) {
                fs::create_directory_symlink(theirs, at, error);
                continue;
            }
            if (!fs::create_directory(at, error)) {
                continue;
            }
            fs::permissions(at, fs::perms::all, error);
            for (const std::string& path : paths) {
                fs::create_directories((at / path).parent_path(), error);
                std::ofstream(at / path, std::ios::binary) << "planted";
            }
        }
        if (!announced) {
            std::cout << "planting" << std::endl;
            announced = true;
        }
    }
    return 0;
}
