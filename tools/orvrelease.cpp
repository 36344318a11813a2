// orvrelease: builds the static update tree of a release and serves a tree on loopback.

#include <charconv>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/files.h"
#include "platform/interrupt.h"
#include "platform/signature.h"
#include "tools/release_server.h"
#include "tools/release_tree.h"

namespace {

const char kUsage[] =
    "usage: orvrelease build --from DIR --out DIR --version TEXT --id TEXT --base-url URL\n"
    "                        [--notice TEXT]... [--homepage URL] [--downtime N] [--downretry N]\n"
    "                        [--no-packages] [--sign-key KEY.pem]\n"
    "       orvrelease keygen --out KEY.pem\n"
    "       orvrelease serve DIR [--port N]\n"
    "       orvrelease [build|keygen|serve] --help\n";

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
    "  --sign-key KEY.pem\n"
    "                   signs the release with the publisher's private key (`orvrelease\n"
    "                   keygen`): every file-list entry gets \"sha256\", and \"release.sig\"\n"
    "                   beside the manifests holds the signature of both. An updater built\n"
    "                   with the public key installs only releases signed with this key.\n"
    "\n"
    "The tree:\n"
    "  serviceAddress/geturl_windows.php  the service-address reply\n"
    "  files/   (\"downurl\")    the files under the GBK bytes of their relative paths,\n"
    "                          \"filelist.update\" and \"fldz.update\"\n"
    "  zx/      (\"downzxurl\")  one .lzma package per file, named after its relative path\n"
    "                          with \".lzma\" appended, and the same two manifests\n"
    "  files/release.sig, zx/release.sig   with --sign-key: the signature of both manifests\n"
    "An installation of this version carries the two manifests of files/.\n"
    "\n"
    "Refused, with the file named and nothing written: a symbolic link (links are never\n"
    "followed), a special file, an unreadable file or folder, a file of 2 GiB or more, a path\n"
    "that GBK cannot write or that contains \"\\\" or a control character, and a name that\n"
    "the updater refuses on every system: dots and blanks only, a drive prefix such as \"c:\",\n"
    "a \":\", one of < > \" | ? *, a name ending in a dot or a blank, or a Windows device\n"
    "name (CON, PRN, AUX, NUL, COM1-9, LPT1-9) with or without an extension.\n"
    "The same input always gives a byte-identical tree.\n";

const char kKeygenHelp[] =
    "orvrelease keygen --out KEY.pem: makes the publisher's signing key (ECDSA, P-256).\n"
    "\n"
    "  --out KEY.pem   the private key (PKCS #8 PEM), created readable by this user only;\n"
    "                  an existing file is never replaced. Keep it offline.\n"
    "\n"
    "Prints the public key, 130 hexadecimal digits, for the updater's build:\n"
    "  cmake -DORVUPDATE_RELEASE_PUBLIC_KEY=<digits> ...\n";

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

// A key file's text; a key is a few hundred bytes, so anything larger is not one.
std::optional<std::string> ReadKeyFile(const std::string& path) {
    std::ifstream in(std::filesystem::u8path(path), std::ios::binary);
    std::string text(4096, '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    if (in.bad() || (!in.eof() && !in)) {
        return std::nullopt;
    }
    text.resize(static_cast<std::size_t>(in.gcount()));
    return text;
}

int Build(const std::vector<std::string>& args) {
    static const char* const kSingle[] = {"--from",     "--out",       "--version",
                                          "--id",       "--base-url",  "--homepage",
                                          "--downtime", "--downretry", "--sign-key"};
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

    if (values.count("--sign-key") != 0) {
        const std::optional<std::string> pem = ReadKeyFile(values["--sign-key"]);
        if (!pem) {
            std::cerr << "orvrelease: " << values["--sign-key"] << ": cannot be read" << std::endl;
            return 1;
        }
        options.signingKey = platform::ReadSigningKey(*pem);
        if (!options.signingKey) {
            std::cerr << "orvrelease: " << values["--sign-key"]
                      << ": not a P-256 private key in PKCS #8 PEM form (orvrelease keygen)"
                      << std::endl;
            return 1;
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

int Keygen(const std::vector<std::string>& args) {
    std::optional<std::string> out;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help" || arg == "-h") {
            std::cout << kKeygenHelp;
            return 0;
        }
        if (arg != "--out" || out) {
            return Usage("keygen: unknown argument \"" + arg + "\"");
        }
        if (i + 1 >= args.size()) {
            return Usage("keygen: --out needs a value");
        }
        out = args[++i];
    }
    if (!out) {
        return Usage("keygen: --out is missing");
    }
    const std::optional<platform::SigningKey> key = platform::GenerateSigningKey();
    if (!key) {
        std::cerr << "orvrelease: the system cannot make a P-256 key" << std::endl;
        return 1;
    }
    // Created new and private, so that no other user ever reads the key and no existing key
    // (or a link planted at the name) is written over.
    platform::File file;
    const release::GbkText name = release::ToGbkExactly(*out);
    if (!name.ok || !file.Open(name.gbk, platform::File::Mode::CreatePrivate)) {
        std::cerr << "orvrelease: " << *out
                  << ": cannot be created (an existing file is never replaced)" << std::endl;
        return 1;
    }
    const std::string& pem = key->privatePem;
    if (file.Write(pem.data(), pem.size()) != static_cast<long>(pem.size())) {
        file.Close();
        std::error_code ignored;
        std::filesystem::remove(std::filesystem::u8path(*out), ignored);
        std::cerr << "orvrelease: " << *out << ": cannot be written" << std::endl;
        return 1;
    }
    file.Close();
    std::cout << "wrote the private key to " << *out << "; the public key for the build:\n"
              << platform::HexText(key->publicKey) << std::endl;
    return 0;
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
    if (args[0] == "keygen") {
        return Keygen(rest);
    }
    if (args[0] == "serve") {
        return Serve(rest);
    }
    if (args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
        std::cout << kUsage << "\n" << kBuildHelp << "\n" << kKeygenHelp << "\n" << kServeHelp;
        return 0;
    }
    return Usage("unknown command \"" + args[0] + "\"");
}
