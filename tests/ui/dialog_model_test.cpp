// The update dialog's reaction to the engine's messages, shared by both front ends.

#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/messages.h"
#include "platform/text_codepage.h"
#include "ui/dialog_model.h"

namespace {

platform::Message Msg(std::uint32_t id, std::uintptr_t wParam = 0, std::u16string text = {}) {
    platform::Message message;
    message.id = id;
    message.wParam = wParam;
    message.text = std::move(text);
    return message;
}

TEST(DialogModel, PercentTextHasOneDecimal) {
    const struct {
        std::uint32_t permille;
        std::u16string text;
    } cases[] = {
        {0, u"0.0"}, {7, u"0.7"}, {10, u"1.0"}, {123, u"12.3"}, {999, u"99.9"}, {1000, u"100.0"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(PercentText(c.permille), c.text) << c.permille;
    }
}

TEST(DialogModel, FixedTexts) {
    EXPECT_EQ(HeadlineText(u"2.0.1"), u"Orvel浏览器2.0.1更新已发布！");
    EXPECT_EQ(HeadlineText(u""), u"Orvel浏览器更新已发布！");
    EXPECT_EQ(LinkText(u"http://www.orvel.example/"), u" http://www.orvel.example/ ");
    EXPECT_EQ(LinkText(u""), u"  ");
    EXPECT_EQ(std::u16string(kDialogCaption), u"Orvel浏览器更新程序");
    EXPECT_EQ(std::u16string(kHintText), u"如果更新过慢，您也可访问官网下载最新版：");
    EXPECT_EQ(std::u16string(kLinkTooltip), u"点击前往Orvel官网");
}

// One update from start to end: after each message, what the dialog shows.
TEST(DialogModel, FollowsAnUpdateThroughEveryMessage) {
    const std::u16string downloading = u"正在下载更新文件，进度：";
    const struct {
        platform::Message message;
        bool changes;
        std::u16string stageLine;
        std::u16string statusLine;
        std::uint32_t rangeMax;
        std::uint32_t position;
        DialogModel::Stage stage;
        bool mustWait;
    } steps[] = {
        {Msg(msg::kDownloadBegin, 0), true, downloading + u"0%", u"", 0, 0,
         DialogModel::Stage::Downloading, false},
        {Msg(msg::kDownloadBegin, 5000), true, downloading + u"0%", u"", 5000, 0,
         DialogModel::Stage::Downloading, false},
        {Msg(msg::kCurrentFile, 0, u"bin\\中文 & more.dll"), true, downloading + u"0%",
         u"bin\\中文 & more.dll", 5000, 0, DialogModel::Stage::Downloading, false},
        {Msg(msg::kDownloadPosition, 35), true, downloading + u"0%", u"bin\\中文 & more.dll", 5000,
         35, DialogModel::Stage::Downloading, false},
        {Msg(msg::kDownloadPermille, 7), true, downloading + u"0.7%", u"bin\\中文 & more.dll", 5000,
         35, DialogModel::Stage::Downloading, false},
        {Msg(msg::kDownloadPosition, 615), true, downloading + u"0.7%", u"bin\\中文 & more.dll",
         5000, 615, DialogModel::Stage::Downloading, false},
        {Msg(msg::kDownloadPermille, 123), true, downloading + u"12.3%", u"bin\\中文 & more.dll",
         5000, 615, DialogModel::Stage::Downloading, false},
        // Never posted: nothing changes.
        {Msg(msg::kUncompressDone, 77), false, downloading + u"12.3%", u"bin\\中文 & more.dll",
         5000, 615, DialogModel::Stage::Downloading, false},
        {Msg(msg::kLocalsetDone, 77), false, downloading + u"12.3%", u"bin\\中文 & more.dll", 5000,
         615, DialogModel::Stage::Downloading, false},
        {Msg(msg::kDownloadPermille, 1000), true, downloading + u"100.0%", u"bin\\中文 & more.dll",
         5000, 615, DialogModel::Stage::Downloading, false},
        {Msg(msg::kDownloadComplete, 5000), true, downloading + u"100.0%", u"bin\\中文 & more.dll",
         5000, 5000, DialogModel::Stage::Downloading, false},
        {Msg(msg::kUncompressStage), true, u"下载完成，正在解压更新文件...",
         u"bin\\中文 & more.dll", 5000, 5000, DialogModel::Stage::Uncompressing, false},
        {Msg(msg::kLocalsetStage), true, u"解压完成，正在更新本地文件...", u"bin\\中文 & more.dll",
         5000, 5000, DialogModel::Stage::Localset, true},
        {Msg(msg::kFinishStage), true, u"更新完成，正在启动浏览器...", u"bin\\中文 & more.dll",
         5000, 5000, DialogModel::Stage::Finishing, true},
    };

    DialogModel model;
    EXPECT_EQ(model.stageLine, u"正在检测更新配置...");
    EXPECT_FALSE(model.MustWaitForWorker());
    for (std::size_t i = 0; i < std::size(steps); ++i) {
        const auto& step = steps[i];
        SCOPED_TRACE(i);
        EXPECT_EQ(model.Apply(step.message), step.changes);
        EXPECT_EQ(model.stageLine, step.stageLine);
        EXPECT_EQ(model.statusLine, step.statusLine);
        EXPECT_EQ(model.rangeMax, step.rangeMax);
        EXPECT_EQ(model.position, step.position);
        EXPECT_EQ(model.stage, step.stage);
        EXPECT_EQ(model.MustWaitForWorker(), step.mustWait);
        EXPECT_FALSE(model.quit);
    }

    EXPECT_FALSE(model.Apply(Msg(msg::kQuit)));
    EXPECT_TRUE(model.quit);
    EXPECT_EQ(model.stageLine, u"更新完成，正在启动浏览器...");
}

TEST(DialogModel, MessagesWithoutAStageChangeDoNotWaitForTheWorker) {
    // A download that fails goes straight to WM_QUIT; a close before it never waits.
    DialogModel model;
    for (const platform::Message& m : {Msg(msg::kDownloadBegin, 10), Msg(msg::kDownloadPosition, 4),
                                       Msg(msg::kUncompressStage)}) {
        model.Apply(m);
        EXPECT_FALSE(model.MustWaitForWorker());
    }
}

// A server's text must never start a program or open a local file.
TEST(DialogModel, LinkOpensOnlyWebAddresses) {
    const struct {
        const char* homepage;
        const char* opened;  // "" when nothing may be opened
    } cases[] = {
        {"http://www.orvel.example/", "http://www.orvel.example/"},
        {"HTTPS://www.orvel.example/下载?a=1", "HTTPS://www.orvel.example/下载?a=1"},
        {"www.orvel.example", "http://www.orvel.example"},
        {"www.orvel.example/download", "http://www.orvel.example/download"},
        {"", ""},
        {"file:///etc/passwd", ""},
        {"javascript:alert(1)", ""},
        {"C:\\Windows\\notepad.exe", ""},
        {"\\\\server\\share\\x.exe", ""},
        {"/usr/bin/xterm", ""},
        {"www.orvel.example:80", ""},
        {"http://www.orvel.example/ -new-window", ""},
        {"http://www.orvel.example/\n", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.homepage);
        EXPECT_EQ(BrowserAddress(platform::Utf8ToUtf16(c.homepage)),
                  platform::Utf8ToUtf16(c.opened));
    }
}

}  // namespace
