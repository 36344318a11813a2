#pragma once
// What the update dialog shows, as a function of the engine's messages. Plain logic shared by
// both front ends; it holds no toolkit object.

#include <cstdint>
#include <string>

#include "platform/message_target.h"

class DialogModel {
public:
    enum class Stage { Checking, Downloading, Uncompressing, Localset, Finishing };

    // Applies one engine message; true when something that the dialog shows changed.
    bool Apply(const platform::Message& message);

    // Whether closing the dialog now must wait for the worker: while the installation folder is
    // being changed, so that no file is left half-copied.
    bool MustWaitForWorker() const { return stage == Stage::Localset || stage == Stage::Finishing; }

    Stage stage = Stage::Checking;
    std::u16string stageLine = u"正在检测更新配置...";
    std::u16string statusLine;
    std::uint32_t rangeMax = 100;  // the progress bar's range is 0 ... rangeMax
    std::uint32_t position = 0;
    std::uint32_t permille = 0;  // the last per-mille shown, for the text front end's bar
    bool quit = false;
};

// "%d.%1d" of a per-mille: 0 gives "0.0", 7 "0.7", 123 "12.3", 1000 "100.0".
std::u16string PercentText(std::uint32_t permille);

// "Orvel浏览器" + version + "更新已发布！"
std::u16string HeadlineText(const std::u16string& version);
// " " + homepage + " "
std::u16string LinkText(const std::u16string& homepage);
// What a click on the link opens: the homepage when it is an http or https address, or a host
// name (optionally with a path) as an http address; empty when it is anything else (a file, a
// program, another scheme, blanks or control characters), which is then not opened.
std::u16string BrowserAddress(const std::u16string& homepage);

extern const char16_t kDialogCaption[];  // "Orvel浏览器更新程序"
extern const char16_t kHintText[];  // "如果更新过慢，您也可访问官网下载最新版："
extern const char16_t kLinkTooltip[];   // "点击前往Orvel官网"
extern const char16_t kNotesCaption[];  // "更新说明："
