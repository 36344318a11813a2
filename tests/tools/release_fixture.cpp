#include "tests/tools/release_fixture.h"

#include "platform/text_codepage.h"
#include "tests/support/sample_data.h"
#include "tests/support/temp_folder.h"

namespace releasetest {

std::string Sample(std::size_t size, unsigned seed) {
    return testsupport::SampleBytes(size, seed, 50);
}

Files SampleFiles() {
    return {
        {"bin/core.dll", Sample(3 * 1024 * 1024 + 17, 1)},
        {"文档/用户指南.txt", "Orvel 浏览器 2.0 用户指南\n"},
        {"plugins/pdf viewer/a b-c.dll", Sample(70000, 2)},
        {"empty.dat", ""},
        {"deep/er/still/deeper/leaf.txt", "leaf"},
        {"README", "Orvel"},
    };
}

void WriteFiles(const fs::path& root, const Files& files) {
    for (const auto& [relative, content] : files) {
        testsupport::WriteFile(root / fs::u8path(relative), content);
    }
}

Files ReadTree(const fs::path& root) {
    Files files;
    for (const auto& item : fs::recursive_directory_iterator(root)) {
        if (item.is_regular_file()) {
            files[fs::relative(item.path(), root).string()] = testsupport::ReadFile(item.path());
        }
    }
    return files;
}

release::TreeOptions Options(const fs::path& from, const fs::path& out) {
    release::TreeOptions options;
    options.from = from;
    options.out = out;
    options.version = "2.0.1";
    options.id = "orvel-2.0.1";
    options.baseUrl = kBaseUrl;
    options.homepage = "http://www.orvel.example/";
    options.notices = {"新增PDF阅读插件", "fixes"};
    options.downTime = 90;
    options.downRetry = 4;
    return options;
}

std::string MemberName(const std::string& relativeUtf8) {
    std::string member = platform::Utf8ToAnsi(relativeUtf8);
    std::replace(member.begin(), member.end(), '/', '\\');
    return member;
}

}  // namespace releasetest
