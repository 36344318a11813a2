// Decompression of LZMA packages made by the SDK's encoder and by independent tools (xz,
// lzma_alone), through DecompressFile and the task that the decompression stage runs.

#include <cctype>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "config/file_list.h"
#include "config/path_store.h"
#include "package/uncompress_task.h"
#include "platform/digest.h"
#include "tests/support/child_process.h"
#include "tests/support/process_settings.h"
#include "tests/support/sample_data.h"
#include "tests/support/temp_folder.h"

namespace {

namespace fs = std::filesystem;
using testsupport::ReadFile;
using testsupport::TempFolder;
using testsupport::WriteFile;

constexpr std::uint64_t kNoSize = ~std::uint64_t{0};

std::string Sample(std::size_t size, unsigned seed = 1) {
    return testsupport::SampleBytes(size, seed);
}

using EncodeOptions = testsupport::LzmaPackageOptions;

std::string LittleEndian(std::uint64_t value, int bytes) {
    std::string out;
    for (int i = 0; i < bytes; ++i) {
        out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
    }
    return out;
}

// A package from the SDK's encoder with its 13-byte header.
std::string SdkPackage(const std::string& data, const EncodeOptions& options = {}) {
    const std::string package = testsupport::MakeLzmaPackage(data, options);
    EXPECT_FALSE(package.empty());
    return package;
}

// The package makers and md5sum are POSIX programs (testsupport::kPosixSystem).
testsupport::ChildResult Run(const std::string& program,
                             const std::vector<std::string>& arguments) {
    testsupport::ChildOptions options;
    options.program = program;
    options.arguments = arguments;
    return testsupport::RunChild(options, std::chrono::minutes(2));
}

// xz's .lzma output: no size stated, closed by the end marker.
std::string XzPackage(const TempFolder& work, const std::string& data) {
    const fs::path plain = work / "xz-input";
    WriteFile(plain, data);
    const testsupport::ChildResult run = Run("xz", {"--format=lzma", "-k", "-f", plain.string()});
    EXPECT_EQ(run.exitStatus, 0) << run.standardError;
    return ReadFile(plain.string() + ".lzma");
}

// lzma_alone's output: the size stated, no end marker.
std::string LzmaAlonePackage(const TempFolder& work, const std::string& data) {
    const fs::path plain = work / "alone-input";
    const fs::path packed = work / "alone-output";
    WriteFile(plain, data);
    const testsupport::ChildResult run = Run("lzma_alone", {"e", plain.string(), packed.string()});
    EXPECT_EQ(run.exitStatus, 0) << run.standardError;
    return ReadFile(packed);
}

std::uint64_t StatedSize(const std::string& package) {
    std::uint64_t size = 0;
    for (int i = 0; i < 8; ++i) {
        size |= static_cast<std::uint64_t>(static_cast<unsigned char>(package[5 + i])) << (8 * i);
    }
    return size;
}

std::string WithStatedSize(std::string package, std::uint64_t size) {
    package.replace(5, 8, LittleEndian(size, 8));
    return package;
}

std::string Md5Of(const fs::path& path) {
    if (testsupport::kPosixSystem) {
        const testsupport::ChildResult run = Run("md5sum", {path.string()});
        EXPECT_EQ(run.exitStatus, 0);
        return run.standardOutput.substr(0, 32);
    }
    // Windows has no md5sum: the system's own digest, which the platform tests check on known
    // values.
    const std::string data = ReadFile(path);
    platform::Digest md5(platform::DigestKind::Md5);
    md5.Update(data.data(), data.size());
    return md5.HexDigest();
}

// The two work folders of a run, and a task that unpacks "pkg\app.dll.lzma" into "bin\app.dll".
class UncompressTaskTest : public testing::Test {
protected:
    UncompressTaskTest() {
        fs::create_directories(root / "zx");
        fs::create_directories(root / "down");
        store.compressedFolder = (root / "zx").string() + "\\";
        store.downloadFolder = (root / "down").string() + "\\";
        task.paths = &store;
        task.source = "pkg\\app.dll.lzma";
        task.target = "bin\\app.dll";
    }

    fs::path PackagePath() const { return root / "zx/pkg/app.dll.lzma"; }
    fs::path TargetPath() const { return root / "down/bin/app.dll"; }
    void PutPackage(const std::string& bytes) const { WriteFile(PackagePath(), bytes); }

    TempFolder root;
    PathStore store;
    UncompressTask task;
};

TEST(DecompressFile, UnpacksPackagesOfEveryMakerAndSize) {
    using Maker = std::string (*)(const TempFolder&, const std::string&);
    struct MakerCase {
        const char* name;
        Maker make;
        bool statesSize;
    };
    std::vector<MakerCase> makers = {
        {"sdk, size stated", [](const TempFolder&, const std::string& d) { return SdkPackage(d); },
         true},
        {"sdk, size stated and end marker",
         [](const TempFolder&, const std::string& d) {
             return SdkPackage(d, {true, true});
         },
         true},
        {"sdk, end marker only",
         [](const TempFolder&, const std::string& d) {
             return SdkPackage(d, {false, true});
         },
         false},
    };
    if (testsupport::kPosixSystem) {
        makers.push_back({"xz --format=lzma", XzPackage, false});
        makers.push_back({"lzma_alone e", LzmaAlonePackage, true});
    }
    // Around one buffer of output, and several buffers of input and output.
    const std::size_t sizes[] = {0, 1, 65535, 65536, 65537, 300000};

    TempFolder work;
    for (const MakerCase& maker : makers) {
        for (const std::size_t size : sizes) {
            SCOPED_TRACE(std::string(maker.name) + ", " + std::to_string(size) + " bytes");
            const std::string data = Sample(size, static_cast<unsigned>(size));
            const std::string package = maker.make(work, data);
            ASSERT_EQ(StatedSize(package), maker.statesSize ? size : kNoSize);
            if (size == 300000) {
                ASSERT_GT(package.size(), 0x10000u);
            }
            WriteFile(work / "package", package);
            EXPECT_EQ(DecompressFile((work / "package").string(), (work / "out").string()),
                      static_cast<std::int32_t>(size));
            EXPECT_TRUE(ReadFile(work / "out") == data);
        }
    }
}

TEST(DecompressFile, HeadersOfEveryValidShape) {
    struct Case {
        const char* name;
        EncodeOptions options;
        std::uint32_t headerDictionary;  // what the header claims
    };
    const Case cases[] = {
        {"defaults", {}, 1u << 16},
        {"largest properties byte 224", {true, false, 8, 4, 4, 1u << 16}, 1u << 16},
        {"lc 0 lp 0 pb 0", {true, false, 0, 0, 0, 1u << 16}, 1u << 16},
        // The output wraps the smallest dictionary many times.
        {"4096-byte dictionary", {true, false, 3, 0, 2, 4096}, 4096},
        // Values below 4096 count as 4096.
        {"dictionary stated as 0", {true, false, 3, 0, 2, 4096}, 0},
        {"dictionary stated as 1", {true, true, 3, 0, 2, 4096}, 1},
    };
    TempFolder work;
    const std::string data = Sample(150000, 7);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string package = SdkPackage(data, c.options);
        package.replace(1, 4, LittleEndian(c.headerDictionary, 4));
        WriteFile(work / "package", package);
        EXPECT_EQ(DecompressFile((work / "package").string(), (work / "out").string()), 150000);
        EXPECT_TRUE(ReadFile(work / "out") == data);
    }
}

TEST(DecompressFile, CeilingOnTheUnpackedSize) {
    TempFolder work;
    const std::string data = Sample(100000, 3);
    const std::string package = WithStatedSize(SdkPackage(data, {true, true}), kNoSize);
    const std::string stated = SdkPackage(data);
    const std::string source = (work / "package").string();
    const std::string target = (work / "out").string();

    // A stated size above the ceiling is refused before anything is decoded.
    WriteFile(source, stated);
    EXPECT_EQ(DecompressFileUpTo(source, target, 99999), -1);
    EXPECT_EQ(fs::file_size(target), 0u);
    EXPECT_EQ(DecompressFileUpTo(source, target, 100000), 100000);

    // Without a stated size the output stops at the ceiling.
    WriteFile(source, package);
    EXPECT_EQ(DecompressFileUpTo(source, target, 99999), -1);
    EXPECT_LE(fs::file_size(target), 99999u);
    EXPECT_EQ(DecompressFileUpTo(source, target, 100000), 100000);
    EXPECT_TRUE(ReadFile(target) == data);

    // The real ceiling: a stated size of 2 GiB does not fit the result.
    WriteFile(source, WithStatedSize(stated, 0x80000000u));
    EXPECT_EQ(DecompressFile(source, target), -1);
    EXPECT_EQ(fs::file_size(target), 0u);
    WriteFile(source, WithStatedSize(stated, 0xFFFFFFFFu));
    EXPECT_EQ(DecompressFile(source, target), -1);
    EXPECT_EQ(fs::file_size(target), 0u);
}

// The largest the process's address space has been, from the system's own account; 0 when it
// cannot be read.
std::uint64_t PeakVirtualBytes() {
    std::istringstream status(ReadFile("/proc/self/status"));
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmPeak:", 0) == 0) {
            return std::stoull(line.substr(7)) * 1024;
        }
    }
    return 0;
}

TEST(DecompressFile, TheDictionaryIsBoundedWhateverTheHeaderAsksFor) {
    TempFolder work;
    const std::string data = Sample(100000, 11);
    const std::string source = (work / "package").string();
    const std::string target = (work / "out").string();
    const std::uint64_t before = PeakVirtualBytes();
    // Without xz at hand, the SDK's package that leaves its size unstated as xz's does.
    const std::string unstated =
        testsupport::kPosixSystem ? XzPackage(work, data) : SdkPackage(data, {false, true});
    for (const std::string& package : {SdkPackage(data), unstated}) {
        // Bytes 1 to 4 of the header: a dictionary of 4 GiB - 1.
        WriteFile(source, package.substr(0, 1) + LittleEndian(0xFFFFFFFFu, 4) + package.substr(5));
        // Bounded by the file's size, or by 64 MiB when that is not known: honest data still
        // decodes, and nothing near 4 GiB is ever reserved.
        EXPECT_EQ(DecompressFileUpTo(source, target, 100000), 100000);
        EXPECT_TRUE(ReadFile(target) == data);
        EXPECT_EQ(DecompressFile(source, target), 100000);
        EXPECT_TRUE(ReadFile(target) == data);
    }
    EXPECT_LT(PeakVirtualBytes(), before + (1ull << 30));
}

TEST(DecompressFile, ShortWriteFails) {
    if (!testsupport::FileSizeLimitSupported()) {
        GTEST_SKIP() << "this system cannot limit the size of a process's files";
    }
    TempFolder work;
    WriteFile(work / "package", SdkPackage(Sample(300000, 5)));
    testsupport::LimitFileSize(100000);
    const std::int32_t result =
        DecompressFile((work / "package").string(), (work / "out").string());
    testsupport::LimitFileSize(0);
    EXPECT_EQ(result, -1);
    EXPECT_LE(fs::file_size(work / "out"), 100000u);
}

TEST_F(UncompressTaskTest, UnpacksIntoNewFoldersAndKeepsThePackage) {
    const std::string data = Sample(70000);
    PutPackage(SdkPackage(data));
    EXPECT_TRUE(task.Execute());
    EXPECT_TRUE(ReadFile(TargetPath()) == data);
    EXPECT_TRUE(fs::exists(PackagePath()));
}

TEST_F(UncompressTaskTest, ReplacesAnExistingTargetAndIgnoresDataAfterTheStatedSize) {
    const std::string data = Sample(5000);
    PutPackage(SdkPackage(data) + Sample(3000, 99));
    WriteFile(TargetPath(), Sample(200000, 2));
    EXPECT_TRUE(task.Execute());
    EXPECT_TRUE(ReadFile(TargetPath()) == data);
}

TEST_F(UncompressTaskTest, GbkTargetName) {
    task.target = "\xD6\xD0\xCE\xC4\\\xB8\xFC\xD0\xC2.txt";  // 中文\更新.txt
    const std::string data = Sample(1000);
    PutPackage(SdkPackage(data));
    EXPECT_TRUE(task.Execute());
    EXPECT_TRUE(ReadFile(root / "down" /
                         fs::u8path("\xE4\xB8\xAD\xE6\x96\x87/"
                                    "\xE6\x9B\xB4\xE6\x96\xB0.txt")) == data);
}

TEST_F(UncompressTaskTest, TheUnpackedFileMustHaveTheListedSize) {
    const std::string data = Sample(5000);
    // Without a stated size in the package, only the entry tells how long the file is.
    const std::string unsized = WithStatedSize(SdkPackage(data, {true, true}), kNoSize);
    FileInfoItem entry;
    entry.md5 = "not a digest";
    task.entry = &entry;
    const struct {
        std::int32_t listed;
        bool ok;
    } cases[] = {{5000, true}, {4999, false}, {5001, false}, {0, true}, {-1, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.listed);
        entry.size = c.listed;
        for (const std::string& package : {SdkPackage(data), unsized}) {
            PutPackage(package);
            EXPECT_EQ(task.Execute(), c.ok);
            EXPECT_EQ(fs::exists(PackagePath()), c.ok) << "a bad package is fetched again";
            if (c.ok) {
                EXPECT_TRUE(ReadFile(TargetPath()) == data);
            } else {
                EXPECT_LE(fs::file_size(TargetPath()), static_cast<std::uintmax_t>(c.listed))
                    << "never written past the listed size";
            }
        }
    }
}

TEST_F(UncompressTaskTest, BadPackagesFailAndAreDeleted) {
    const std::string data = Sample(100000);
    const std::string good = SdkPackage(data);
    std::string badProperties = good;
    badProperties[0] = static_cast<char>(225);
    std::string nonZeroFirstByte = good;
    nonZeroFirstByte[13] = 1;
    std::string noise = good.substr(0, 13);
    noise += Sample(2000, 42).substr(0, 2000);
    noise[13] = 0;

    struct Case {
        const char* name;
        std::string package;
        bool targetEmpty;  // nothing may have been unpacked
    };
    const Case cases[] = {
        {"empty package", "", true},
        {"12-byte package", good.substr(0, 12), true},
        {"header only", good.substr(0, 13), false},
        {"properties byte 225", badProperties, true},
        {"data ends before the stated size", good.substr(0, good.size() / 2), false},
        {"stated size one more than the data", WithStatedSize(good, data.size() + 1), false},
        {"no size stated, no end marker", WithStatedSize(good, kNoSize), false},
        {"first byte of the coded data not zero", nonZeroFirstByte, true},
        {"noise after the header", noise, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PutPackage(c.package);
        EXPECT_FALSE(task.Execute());
        EXPECT_FALSE(fs::exists(PackagePath()));
        ASSERT_TRUE(fs::is_regular_file(TargetPath()));
        if (c.targetEmpty) {
            EXPECT_EQ(fs::file_size(TargetPath()), 0u);
        }
    }
}

TEST_F(UncompressTaskTest, ABadPackageThatCannotBeDeletedIsEmptied) {
    // A package path of 260 characters or more cannot be deleted; folders of 100 characters keep
    // every single name short enough for the file system. Left whole, the package would count as
    // complete in every later run and fail here again each time.
    std::string relative;
    while (store.compressedFolder.size() + relative.size() < 260) {
        relative += std::string(100, 'p') + "\\";
    }
    relative += "app.dll.lzma";
    std::string onDisk = relative;
    for (char& c : onDisk) {
        c = c == '\\' ? '/' : c;
    }
    const fs::path package = root / "zx" / onDisk;
    const std::string data = Sample(5000);
    const std::string otherMd5(32, '0');  // checkable, and not the digest of the data
    FileInfoItem item;
    item.md5 = otherMd5;
    const struct {
        const char* name;
        std::string bytes;
        FileInfoItem* entry;
    } cases[] = {
        {"corrupt package", SdkPackage(data).substr(0, 200), nullptr},
        {"unpacked file with the wrong digest", SdkPackage(data), &item},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WriteFile(package, c.bytes);
        task.source = relative;
        task.entry = c.entry;
        EXPECT_FALSE(task.Execute());
        EXPECT_TRUE(!fs::exists(package) || fs::file_size(package) == 0);
    }
}

TEST_F(UncompressTaskTest, MissingPackageOrUnwritableTarget) {
    // Nothing to open: nothing is created and nothing else is touched.
    WriteFile(root / "zx/pkg/other.lzma", "keep");
    EXPECT_FALSE(task.Execute());
    EXPECT_FALSE(fs::exists(TargetPath()));
    EXPECT_EQ(ReadFile(root / "zx/pkg/other.lzma"), "keep");

    // A folder stands where the file should go.
    fs::create_directories(TargetPath());
    PutPackage(SdkPackage(Sample(100)));
    EXPECT_FALSE(task.Execute());
    EXPECT_FALSE(fs::exists(PackagePath()));
    EXPECT_TRUE(fs::is_directory(TargetPath()));
}

TEST_F(UncompressTaskTest, UnpackedFileIsCheckedAgainstTheEntryDigest) {
    const std::string data = Sample(80000);
    const fs::path original = root / "original";
    WriteFile(original, data);
    const std::string md5 = Md5Of(original);
    std::string upper = md5;
    for (char& c : upper) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    std::string wrong = md5;
    wrong[0] = wrong[0] == '0' ? '1' : '0';

    struct Case {
        const char* name;
        std::string md5;
        bool ok;
    };
    const Case cases[] = {
        {"matching digest", md5, true},
        {"matching digest in capitals", upper, true},
        {"other digest", wrong, false},
        {"no digest", "", true},
        {"digest that cannot be checked", md5.substr(1), true},
    };
    FileInfoItem item;
    task.entry = &item;
    // Unpacked here, or ahead on a thread of its own: the outcome is the same.
    for (const bool ahead : {false, true}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.name) + (ahead ? ", ahead" : ""));
            item.md5 = c.md5;
            PutPackage(SdkPackage(data));
            if (ahead) {
                task.StartAhead();
            }
            EXPECT_EQ(task.Execute(), c.ok);
            EXPECT_EQ(fs::exists(PackagePath()), c.ok);
            EXPECT_EQ(fs::exists(TargetPath()), c.ok);
        }
    }

    // A result that no Execute took is forgotten: the next one unpacks again.
    item.md5 = md5;
    PutPackage(SdkPackage(data));
    task.StartAhead();
    task.WaitAhead();
    EXPECT_TRUE(fs::exists(TargetPath()));
    fs::remove(PackagePath());
    EXPECT_FALSE(task.Execute());

    // A damaged package either fails to decode or unpacks into the wrong file; either way the
    // digest keeps it from passing.
    item.md5 = md5;
    std::string damaged = SdkPackage(data);
    damaged[damaged.size() / 2] ^= 0x10;
    PutPackage(damaged);
    EXPECT_FALSE(task.Execute());
    EXPECT_FALSE(fs::exists(PackagePath()));

    // Without an entry nothing is checked.
    task.entry = nullptr;
    PutPackage(SdkPackage(data));
    EXPECT_TRUE(task.Execute());
}

}  // namespace
