// Signed releases end to end: trees signed by orvrelease, tampered with by hand, against an
// updater built with the public key of release_test_key.pem, and the plain updater beside it.

#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "core/release_signing.h"
#include "platform/digest.h"
#include "platform/signature.h"
#include "tests/app/fixtures.h"
#include "tests/support/http_test_server.h"
#include "tests/support/temp_folder.h"

namespace {

using namespace e2e;
using testsupport::HttpTestServer;
using testsupport::Reply;
using testsupport::TempFolder;

const std::string kUpdateCaption = "Orvel浏览器：更新失败";
const std::string kListFailed = "无法从服务器获得更新配置！";
const std::string kDownloadFailed = "下载更新文件失败！";
const std::string kUnpackFailed = "解压更新文件失败！";

Files OldVersion() {
    return {{"bin/core.dll", Bytes(300000, 1)}, {"readme.txt", "1.0"}};
}

Files NewVersion() {
    return {{"bin/core.dll", Bytes(450000, 3)},
            {"plugins/pdf viewer/pdf-render.dll", Bytes(200000, 4)},
            {"readme.txt", "2.0"}};
}

std::string Hex(platform::DigestKind kind, const std::string& bytes) {
    return platform::HexText(platform::DigestOf(kind, bytes));
}

// The text with its one occurrence of `from` replaced.
std::string ReplacedOnce(std::string text, const std::string& from, const std::string& to) {
    const std::size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    EXPECT_EQ(text.find(from, at + 1), std::string::npos) << from;
    if (at != std::string::npos) {
        text.replace(at, from.size(), to);
    }
    return text;
}

// What a publisher holding the test key would sign: the tests' own tampered manifests, to show
// that what the signature cannot catch the file checks still do.
std::string SignedWithTestKey(const std::string& notice, const std::string& list) {
    std::ifstream in(RELEASE_TEST_KEY, std::ios::binary);
    std::stringstream pem;
    pem << in.rdbuf();
    const std::optional<platform::SigningKey> key = platform::ReadSigningKey(pem.str());
    EXPECT_TRUE(key.has_value());
    if (!key) {
        return {};
    }
    const platform::Bytes message = ReleaseSignedMessage(notice, list);
    const std::optional<platform::Bytes> signature =
        platform::Sign(*key, message.data(), message.size());
    EXPECT_TRUE(signature.has_value());
    return signature ? std::string(signature->begin(), signature->end()) : std::string();
}

class SignedRelease : public ::testing::Test {
protected:
    // Release 1.0, and release 2.0 signed with the test key (with or without packages).
    void Prepare(bool packages, int downretry = 2) {
        base_ = packages ? "zx" : "files";
        TreeOptions oldOptions{"1.0", "orvel-1.0"};
        oldOptions.signKey = RELEASE_TEST_KEY;
        old_ = MakeRelease(root_.path(), "old", OldVersion(), server_.BaseUrl(), oldOptions);
        options_.packages = packages;
        options_.downretry = downretry;
        options_.signKey = RELEASE_TEST_KEY;
        release_ = MakeRelease(root_.path(), "new", NewVersion(), server_.BaseUrl(), options_);
        server_.ServeFolder(release_.tree, "/");
    }

    // A fresh installation of 1.0 with the keyed updater, or with the plain one.
    std::unique_ptr<Installation> Install(const std::string& name, bool keyed = true) {
        auto install = std::make_unique<Installation>(
            root_.path() / name, keyed ? fs::path(ORVUPDATE_KEYED_EXE) : fs::path());
        install->Install(old_);
        return install;
    }

    std::string Served(const std::string& name) const {
        return testsupport::ReadFile(release_.tree / base_ / name);
    }
    std::string Url(const std::string& name) const { return "/" + base_ + "/" + name; }

    void ExpectUpdated(const Installation& install) {
        EXPECT_EQ(install.Contents(), release_.files);
        EXPECT_EQ(testsupport::ReadFile(install.folder / "filelist.update"),
                  testsupport::ReadFile(release_.tree / "files" / "filelist.update"));
        EXPECT_EQ(install.WaitForBrowserStarts(1), 1);
    }

    void ExpectSignedTreeInstalled(bool packages) {
        Prepare(packages);
        // Every entry lists its SHA-256 beside the MD5.
        const std::string list = Served("filelist.update");
        EXPECT_NE(list.find("\"sha256\":\"" + Hex(platform::DigestKind::Sha256, "2.0") + "\""),
                  std::string::npos)
            << list;
        EXPECT_EQ(Served(kReleaseSignatureName).size(), platform::kSignatureSize);

        const std::unique_ptr<Installation> install = Install("install");
        const testsupport::ChildResult result = install->Run(server_.HostPort());
        EXPECT_EQ(result.exitStatus, 0) << result.standardError;
        ExpectUpdated(*install);
        EXPECT_EQ(RequestsFor(Url(kReleaseSignatureName)), 1);
    }

    int RequestsFor(const std::string& path) const {
        int count = 0;
        for (const auto& request : server_.Requests()) {
            count += request.path == path ? 1 : 0;
        }
        return count;
    }

    TempFolder root_;
    HttpTestServer server_;
    TreeOptions options_{"2.0", "orvel-2.0"};
    Release old_;
    Release release_;
    std::string base_;
};

TEST_F(SignedRelease, KeyedUpdaterInstallsASignedTreeOfPlainFiles) {
    ExpectSignedTreeInstalled(false);
}

TEST_F(SignedRelease, KeyedUpdaterInstallsASignedTreeOfPackages) {
    ExpectSignedTreeInstalled(true);
}

TEST_F(SignedRelease, UnkeyedUpdaterTakesASignedTreeAsAnUnsignedOne) {
    Prepare(false);
    const std::unique_ptr<Installation> install = Install("install", false);
    const testsupport::ChildResult result = install->Run(server_.HostPort());
    EXPECT_EQ(result.exitStatus, 0) << result.standardError;
    ExpectUpdated(*install);
    EXPECT_EQ(RequestsFor(Url(kReleaseSignatureName)), 0);
}

TEST_F(SignedRelease, EveryTamperingIsRefusedWithNothingInstalled) {
    Prepare(true);
    const std::string notice = Served("fldz.update");
    const std::string list = Served("filelist.update");
    const std::string signature = Served(kReleaseSignatureName);
    const std::string core = release_.files.at("bin/core.dll");
    std::string evil = core;
    evil[1000] ^= 0x55;
    Files evilFiles = NewVersion();
    evilFiles["bin/core.dll"] = evil;
    const Release evilRelease =
        MakeRelease(root_.path(), "evil", evilFiles, server_.BaseUrl(), TreeOptions{"2.0", "x"});
    const std::string corePackage = "/zx/bin/core.dll.lzma";
    const Reply evilPackage{200,
                            testsupport::ReadFile(evilRelease.tree / "zx" / "bin/core.dll.lzma")};

    // The same release signed with another key: byte-identical manifests, another signature.
    const fs::path otherKey = root_.path() / "other.pem";
    testsupport::ChildOptions keygen;
    keygen.program = ORVRELEASE_EXE;
    keygen.arguments = {"keygen", "--out", otherKey.string()};
    ASSERT_EQ(testsupport::RunChild(keygen, std::chrono::seconds(60)).exitStatus, 0);
    TreeOptions otherOptions = options_;
    otherOptions.signKey = otherKey;
    const Release otherlySigned =
        MakeRelease(root_.path(), "other-key", NewVersion(), server_.BaseUrl(), otherOptions);
    ASSERT_EQ(testsupport::ReadFile(otherlySigned.tree / "zx" / "filelist.update"), list);
    // Another release of the same publisher, whose notice would be paired with this list.
    TreeOptions laterOptions = options_;
    laterOptions.version = "2.1";
    laterOptions.id = "orvel-2.1";
    const Release later =
        MakeRelease(root_.path(), "later", NewVersion(), server_.BaseUrl(), laterOptions);

    // The evil file's entry, with its digests and size in place of the real one's.
    const std::string coreEntry = "\"md5\":\"" + Hex(platform::DigestKind::Md5, core) + "\"";
    const std::string evilEntry = "\"md5\":\"" + Hex(platform::DigestKind::Md5, evil) + "\"";
    const std::string coreSha256 =
        ",\"sha256\":\"" + Hex(platform::DigestKind::Sha256, core) + "\"";
    const std::string evilSha256 =
        ",\"sha256\":\"" + Hex(platform::DigestKind::Sha256, evil) + "\"";
    const std::string listWithEvilEntry =
        ReplacedOnce(ReplacedOnce(list, coreEntry, evilEntry), coreSha256, evilSha256);
    // Only the MD5 changed: a list the publisher's key signed (as if it had been tricked), which
    // the SHA-256 still refuses.
    const std::string listWithEvilMd5 = ReplacedOnce(list, coreEntry, evilEntry);
    const std::string listWithoutSha256 = ReplacedOnce(list, coreSha256, "");

    struct Case {
        const char* name;
        std::map<std::string, Reply> faults;
        std::string message;
    };
    const Case cases[] = {
        {"a changed file with its entry",
         {{"/zx/filelist.update", Reply{200, listWithEvilEntry}}, {corePackage, evilPackage}},
         kListFailed},
        {"a changed notice",
         {{"/zx/fldz.update", Reply{200, ReplacedOnce(notice, "orvel-2.0", "orvel-2.5")}}},
         kListFailed},
        {"a notice of another signed release",
         {{"/zx/fldz.update",
           Reply{200, testsupport::ReadFile(later.tree / "zx" / "fldz.update")}}},
         kListFailed},
        {"no signature", {{"/zx/release.sig", Reply{404, "missing"}}}, kListFailed},
        {"a truncated signature",
         {{"/zx/release.sig", Reply{200, signature.substr(0, signature.size() - 1)}}},
         kListFailed},
        {"a signature with a byte more",
         {{"/zx/release.sig", Reply{200, signature + "x"}}},
         kListFailed},
        {"a signature of another key",
         {{"/zx/release.sig",
           Reply{200, testsupport::ReadFile(otherlySigned.tree / "zx" / "release.sig")}}},
         kListFailed},
        {"a signed entry without sha256",
         {{"/zx/filelist.update", Reply{200, listWithoutSha256}},
          {"/zx/release.sig", Reply{200, SignedWithTestKey(notice, listWithoutSha256)}}},
         kListFailed},
        {"a signed entry whose file matches its md5 only",
         {{"/zx/filelist.update", Reply{200, listWithEvilMd5}},
          {"/zx/release.sig", Reply{200, SignedWithTestKey(notice, listWithEvilMd5)}},
          {corePackage, evilPackage}},
         kUnpackFailed},
    };
    for (const Case& c : cases) {
        for (const auto& [path, reply] : c.faults) {
            server_.SetFault(path, reply);
        }
        server_.ClearRequests();
        const std::unique_ptr<Installation> install = Install(c.name);
        const testsupport::ChildResult result = install->Run(server_.HostPort());
        EXPECT_EQ(result.exitStatus, 1) << c.name;
        EXPECT_NE(result.standardError.find(kUpdateCaption), std::string::npos) << c.name;
        EXPECT_NE(result.standardError.find(c.message), std::string::npos) << c.name << "\n"
                                                                           << result.standardError;
        if (c.message == kListFailed) {
            // Refused before anything was downloaded.
            for (const auto& request : server_.Requests()) {
                EXPECT_TRUE(request.path == "/serviceAddress/geturl_windows.php" ||
                            request.path == "/zx/fldz.update" ||
                            request.path == "/zx/filelist.update" ||
                            request.path == "/zx/release.sig")
                    << c.name << ": " << request.path;
            }
        }
        EXPECT_EQ(install->Contents(), OldVersion()) << c.name;
        EXPECT_EQ(install->WaitForBrowserStarts(0), 0) << c.name;
        for (const auto& fault : c.faults) {
            server_.ClearFault(fault.first);
        }
    }
}

TEST_F(SignedRelease, FileKeptFromAnEarlierRunIsCheckedLikeAFreshOne) {
    Prepare(false, 1);
    const std::unique_ptr<Installation> install = Install("install");
    // The first run fetches core.dll, then stops at a missing file; the work folders stay.
    server_.SetFault("/files/plugins/pdf viewer/pdf-render.dll", Reply{404, "gone"});
    EXPECT_EQ(install->Run(server_.HostPort()).exitStatus, 1);
    const fs::path kept = install->DownloadFolder() / "bin" / "core.dll";
    ASSERT_EQ(testsupport::ReadFile(kept), release_.files.at("bin/core.dll"));
    // Changed in place, at its full size, between the runs.
    std::string changed = release_.files.at("bin/core.dll");
    changed[7] ^= 0x01;
    testsupport::WriteFile(kept, changed);

    server_.ClearFault("/files/plugins/pdf viewer/pdf-render.dll");
    server_.ClearRequests();
    const testsupport::ChildResult result = install->Run(server_.HostPort());
    EXPECT_EQ(result.exitStatus, 0) << result.standardError;
    ExpectUpdated(*install);
    EXPECT_EQ(RequestsFor("/files/bin/core.dll"), 1);
}

}  // namespace
