// orvrelease: builds the static update tree of a release and serves a tree on loopback.

#include <charconv>
#include <chrono>
#include <cstdint>
#include <iostream>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/interrupt.h"
#include "tools/release_server.h"
#include "tools/release_tree.h"

namespace {

const char kUsage[] =
    "usage: orvrelease build --from DIR --out DIR --version TEXT --id TEXT --base-url URL\n"
    "                        [--notice TEXT]... [--homepage URL] [--downtime N] [--downretry N]\n"
    "                        [--no-packages]\n"
    "       orvrelease serve DIR [--port N]\n"
    "       orvrelease [build|serve] --help\n";

const char kBuildHelp[] =
    "orvrelease build: turns the folder of a new version into a static update tree that any\n"
    "HTTP server can serve at the base address.\n"
    "\n"
    "  --from DIR       the folder of the new version (file names on disk are UTF-8). Every\n"
    "                   regular file below it is shipped; empty folders are not. A top-level\n"
    "                   \"filelist.update\" or \"fldz.update\" (the manifests of an installation)\n"
    "                   is left out: the tree's new manifests replace it.\n"
    "  --out DIR        the tree to write. It must be missing, empty or an earlier tree (which\n"
    "                   is replaced), and must not lie inside --from. The tree is written into\n"
    "                   \"DIR.partial-XXXXXX\" beside it and renamed to DIR only when complete.\n"
    "  --version TEXT   the release's \"version\"; installations with a smaller version (compared\n"
    "                   byte by byte) update to it.\n"
    "  --id TEXT        the release's \"ID\"; an interrupted update resumes only into the same\n"
    "                   version and ID.\n"
    "  --base-url URL   the public address of the tree, ending with \"/\"; the updater's service\n"
    "                   host must answer URL + \"serviceAddress/geturl_windows.php\".\n"
    "  --notice TEXT    one update note, shown in the update dialog; repeat it, in order.\n"
    "  --homepage URL   the product's home page, linked from the dialog (also the \"docurl\").\n"
    "                   Default: none.\n"
    "  --downtime N     seconds allowed for one file download, 0 for no limit. Default: 60.\n"
    "  --downretry N    download attempts per file, at least 1. Default: 5.\n"
    "  --no-packages    plain files only: no LZMA packages, \"downzxurl\" is empty.\n"
    "\n"
    "The tree:\n"
    "  serviceAddress/geturl_windows.php  the service-address reply\n"
    "  files/   (\"downurl\")    the files under the GBK bytes of their relative paths,\n"
    "                          \"filelist.update\" and \"fldz.update\"\n"
    "  zx/      (\"downzxurl\")  one .lzma package per file, named after its relative path\n"
    "                          with \".lzma\" appended, and the same two manifests\n"
    "An installation of this version carries the two manifests of files/.\n"
    "\n"
    "Refused, with the file named and nothing written: a symbolic link (links are never\n"
    "followed), a special file, an unreadable file or folder, a file of 2 GiB or more, a path\n"
    "that GBK cannot write or that contains \"\\\" or a control character, and a name that\n"
    "the updater refuses on every system: dots and blanks only, a drive prefix such as \"c:\",\n"
    "a \":\", one of < > \" | ? *, a name ending in a dot or a blank, or a Windows device\n"
    "name (CON, PRN, AUX, NUL, COM1-9, LPT1-9) with or without an extension.\n"
    "The same input always gives a byte-identical tree.\n";

const char kServeHelp[] =
    "orvrelease serve DIR [--port N]: serves the tree DIR over HTTP on 127.0.0.1 until Ctrl+C or\n"
    "SIGTERM.\n"
    "\n"
    "  --port N   the port; 0 (the default) picks a free one.\n"
    "\n"
    "The first line on standard output is \"serving DIR at http://127.0.0.1:PORT/\"; then one "
    "line\n"
    "per request: client, request line, status and Range header. Range requests are answered\n"
    "with 206 (416 for a start at or past the end), percent-escaped paths name the bytes of the\n"
    "file name, and a path with \"..\" is refused (403).\n";

int Usage(const std::string& problem) {
    std::cerr << "orvrelease: " << problem << "\n" << kUsage;
    return 2;
}

std::optional<std::int32_t> ParseInt32(const std::string& text) {
    std::int32_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

int Build(const std::vector<std::string>& args) {
    static const char* const kSingle[] = {"--from",     "--out",      "--version",  "--id",
                                          "--base-url", "--homepage", "--downtime", "--downretry"};
    std::map<std::string, std::string> values;
    release::TreeOptions options;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help" || arg == "-h") {
            std::cout << kBuildHelp;
            return 0;
        }
        if (arg == "--no-packages") {
            options.packages = false;
            continue;
        }
        bool known = arg == "--notice";
        for (const char* name : kSingle) {
            known = known || arg == name;
        }
        if (!known) {
            return Usage("build: unknown argument \"" + arg + "\"");
        }
        if (i + 1 >= args.size()) {
            return Usage("build: " + arg + " needs a value");
        }
        const std::string& value = args[++i];
        if (arg == "--notice") {
            options.notices.push_back(value);
        } else if (!values.emplace(arg, value).second) {
            return Usage("build: " + arg + " is given twice");
        }
    }
    for (const char* required : {"--from", "--out", "--version", "--id", "--base-url"}) {
        if (values.count(required) == 0) {
            return Usage(std::string("build: ") + required + " is missing");
        }
    }
    options.from = std::filesystem::u8path(values["--from"]);
    options.out = std::filesystem::u8path(values["--out"]);
    options.version = values["--version"];
    options.id = values["--id"];
    options.baseUrl = values["--base-url"];
    options.homepage = values["--homepage"];
    for (auto [name, field] :
         {std::pair<const char*, std::int32_t*>{"--downtime", &options.downTime},
          {"--downretry", &options.downRetry}}) {
        if (values.count(name) != 0) {
            const auto number = ParseInt32(values[name]);
            if (!number) {
                return Usage(std::string("build: ") + name + " needs a whole number");
            }
            *field = *number;
        }
    }

    platform::CatchInterrupts();
    options.stopRequested = platform::InterruptRequested;
    try {
        const release::TreeSummary summary = release::BuildReleaseTree(options);
        for (const std::string& skipped : summary.skipped) {
            std::cout << "left out " << skipped << ": the new manifests replace it\n";
        }
        std::cout << "built " << values["--out"] << ": " << summary.files.size() << " files, "
                  << summary.totalSize << " bytes";
        if (options.packages) {
            std::cout << ", packages " << summary.totalPackageSize << " bytes";
        }
        std::cout << std::endl;
        return 0;
    } catch (const release::BuildStopped&) {
        std::cerr << "orvrelease: stopped; " << values["--out"] << " was left as it was"
                  << std::endl;
        return 130;
    } catch (const std::exception& error) {
        std::cerr << "orvrelease: " << error.what() << "\norvrelease: nothing was written to "
                  << values["--out"] << std::endl;
        return 1;
    }
}

int Serve(const std::vector<std::string>& args) {
    std::optional<std::string> folder;
    int port = 0;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help" || arg == "-h") {
            std::cout << kServeHelp;
            return 0;
        }
        if (arg == "--port") {
            if (i + 1 >= args.size()) {
                return Usage("serve: --port needs a value");
            }
            const auto number = ParseInt32(args[++i]);
            if (!number || *number < 0 || *number > 65535) {
                return Usage("serve: --port needs a number from 0 to 65535");
            }
            port = *number;
        } else if (arg.rfind("--", 0) == 0 || folder) {
            return Usage("serve: unknown argument \"" + arg + "\"");
        } else {
            folder = arg;
        }
    }
    if (!folder) {
        return Usage("serve: the folder of the tree is missing");
    }

    platform::CatchInterrupts();
    release::ReleaseServer server(std::filesystem::u8path(*folder),
                                  [](const std::string& line) { std::cout << line << std::endl; });
    if (!std::filesystem::is_directory(std::filesystem::u8path(*folder))) {
        std::cerr << "orvrelease: " << *folder << " is not a folder" << std::endl;
        return 1;
    }
    if (!server.Start(port)) {
        std::cerr << "orvrelease: cannot listen on 127.0.0.1:" << port << std::endl;
        return 1;
    }
    std::cout << "serving " << *folder << " at http://127.0.0.1:" << server.port() << "/"
              << std::endl;
    while (!platform::InterruptRequested()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    server.Stop();
    std::cout << "stopped" << std::endl;
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) {
        return Usage("a command is missing");
    }
    const std::vector<std::string> rest(args.begin() + 1, args.end());
    if (args[0] == "build") {
        return Build(rest);
    }
    if (args[0] == "serve") {
        return Serve(rest);
    }
    if (args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
        std::cout << kUsage << "\n" << kBuildHelp << "\n" << kServeHelp;
        return 0;
    }
    return Usage("unknown command \"" + args[0] + "\"");
}
