// The real update dialog and About box under a (virtual) display: layout and texts, the engine's
// messages from the main thread and from a worker thread, closing, the About box while the update
// goes on, the link, and the message boxes.

#include <atomic>
#include <cstdint>
#include <functional>
#include <future>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>
#include <wx/app.h>
#include <wx/button.h>
#include <wx/display.h>
#include <wx/fontenum.h>
#include <wx/gauge.h>
#include <wx/hyperlink.h>
#include <wx/menu.h>
#include <wx/modalhook.h>
#include <wx/msgdlg.h>
#include <wx/statbmp.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include "core/messages.h"
#include "engine/update_manager.h"
#include "platform/message_box.h"
#include "platform/text_codepage.h"
#include "ui/about_dlg.h"
#include "ui/front_end.h"
#include "ui/orv_update_dlg.h"
#include "ui/wx_text.h"

namespace {

FrontEnd& Gui() {
    static std::unique_ptr<FrontEnd> frontEnd = [] {
        static int argc = 1;
        static char name[] = "ui_dialog_test";
        static char* argv[] = {name, nullptr};
        return MakeGuiFrontEnd(argc, argv);
    }();
    if (!frontEnd) {
        ADD_FAILURE() << "no display: run the test under xvfb-run";
        std::abort();
    }
    return *frontEnd;
}

// Runs on the main thread after everything queued before it, inside whatever modal loop runs.
void Later(std::function<void()> step) {
    wxTheApp->CallAfter(std::move(step));
}

// A manager whose worker runs a script instead of an update.
class ScriptedManager : public CUpdateManager {
public:
    ScriptedManager() {
        serverFileDZ.version = "2.0.1";
        serverFileDZ.notices = {platform::Utf16ToAnsi(u"修复了下载中断的问题"),
                                platform::Utf16ToAnsi(u"更快的启动")};
        serverConfig.homepage = "http://www.orvel.example/";
    }
    ~ScriptedManager() override { Join(); }

    void ThreadMain() override {
        windowKnownAtStart = window != nullptr;
        if (script) {
            script(*this);
        }
    }
    void Post(std::uint32_t id, std::uintptr_t wParam = 0, std::u16string text = {}) {
        PostToWindow(id, wParam, 0, std::move(text));
    }

    std::function<void(ScriptedManager&)> script;
    std::atomic<bool> windowKnownAtStart{false};
};

void PostTo(COrvUpdateDlg& dialog, std::uint32_t id, std::uintptr_t wParam = 0,
            std::u16string text = {}) {
    platform::PostMessageTo(&dialog.Window(), id, wParam, 0, std::move(text));
}

void PressEscape(wxWindow& window) {
    wxKeyEvent key(wxEVT_CHAR_HOOK);
    key.m_keyCode = WXK_ESCAPE;
    key.SetEventObject(&window);
    window.GetEventHandler()->ProcessEvent(key);
}

template <class T>
T& Control(wxWindow& dialog, int id) {
    T* control = dynamic_cast<T*>(dialog.FindWindow(id));
    if (control == nullptr) {
        ADD_FAILURE() << "no control " << id;
        std::abort();
    }
    return *control;
}

wxString Stage(wxWindow& dialog) {
    return Control<wxStaticText>(dialog, COrvUpdateDlg::kStageLineId).GetLabelText();
}
wxString Status(wxWindow& dialog) {
    return Control<wxStaticText>(dialog, COrvUpdateDlg::kStatusLineId).GetLabelText();
}
wxGauge& Bar(wxWindow& dialog) {
    return Control<wxGauge>(dialog, COrvUpdateDlg::kProgressId);
}

std::vector<std::string>& AssertionFailures() {
    static std::vector<std::string> failures;
    return failures;
}

void RecordAssertion(const wxString& file, int line, const wxString&, const wxString& cond,
                     const wxString& msg) {
    AssertionFailures().push_back(
        (file + ":" + wxString::Format("%d", line) + " " + cond + " " + msg).utf8_string());
}

// Every test runs with the toolkit started; a toolkit assertion fails the test.
class GuiTest : public testing::Test {
protected:
    void SetUp() override {
        Gui();
        AssertionFailures().clear();
        previous_ = wxSetAssertHandler(&RecordAssertion);
    }
    void TearDown() override {
        wxSetAssertHandler(previous_);
        for (const std::string& failure : AssertionFailures()) {
            ADD_FAILURE() << "toolkit assertion: " << failure;
        }
    }

private:
    wxAssertHandler_t previous_ = nullptr;
};

using UpdateDialog = GuiTest;
using AboutBox = GuiTest;
using MessageBoxes = GuiTest;

TEST_F(UpdateDialog, LayoutAndTexts) {
    ScriptedManager manager;
    COrvUpdateDlg dialog(manager);

    Later([&] {
        EXPECT_TRUE(dialog.IsModal());
        EXPECT_EQ(FromWx(dialog.GetTitle()), u"Orvel浏览器更新程序");
        EXPECT_EQ(dialog.GetSize(), wxSize(475, 205));
        EXPECT_TRUE(dialog.HasFlag(wxSTAY_ON_TOP));
        EXPECT_FALSE(dialog.HasFlag(wxMAXIMIZE_BOX));
        EXPECT_EQ(dialog.GetParent(), nullptr);
        EXPECT_TRUE(dialog.GetIcons().GetIconOfExactSize(48).IsOk());

        // Centred on the work area of its monitor.
        const int display = wxDisplay::GetFromWindow(&dialog);
        ASSERT_NE(display, wxNOT_FOUND);
        const wxRect area = wxDisplay(static_cast<unsigned>(display)).GetClientArea();
        const wxRect rect = dialog.GetScreenRect();
        EXPECT_LE(std::abs((rect.x + rect.width / 2) - (area.x + area.width / 2)), 1);
        EXPECT_LE(std::abs((rect.y + rect.height / 2) - (area.y + area.height / 2)), 1);

        // Every control in its place, in the dialog's order.
        const struct {
            int id;
            wxRect rect;
            bool shown;
        } layout[] = {
            {COrvUpdateDlg::kPictureId, {410, 14, 40, 40}, true},
            {COrvUpdateDlg::kHeadlineId, {24, 20, 500, 20}, true},
            {COrvUpdateDlg::kNotesCaptionId, {70, 60, 500, 20}, false},
            {COrvUpdateDlg::kNotesBoxId, {71, 81, 498, 118}, false},
            {COrvUpdateDlg::kNotesFrameId, {70, 70, 500, 130}, false},
            {COrvUpdateDlg::kStageLineId, {25, 55, 200, 20}, true},
            {COrvUpdateDlg::kProgressId, {25, 78, 420, 20}, true},
            {COrvUpdateDlg::kStatusLineId, {27, 105, 420, 20}, true},
            {COrvUpdateDlg::kHintId, {27, 140, 240, 20}, true},
            {COrvUpdateDlg::kLinkId, {265, 140, 180, 19}, true},
        };
        const wxWindowList& children = dialog.GetChildren();
        ASSERT_EQ(children.size(), std::size(layout));
        std::size_t index = 0;
        for (const wxWindow* child : children) {
            const auto& expected = layout[index++];
            SCOPED_TRACE(expected.id);
            EXPECT_EQ(child->GetId(), expected.id);
            if (expected.id == COrvUpdateDlg::kHeadlineId) {
                // Tall enough for its 18-point font, at least the 20 pixels of the layout.
                EXPECT_EQ(child->GetPosition(), expected.rect.GetPosition());
                EXPECT_EQ(child->GetSize().x, expected.rect.width);
                EXPECT_GE(child->GetSize().y, expected.rect.height);
                EXPECT_GE(child->GetSize().y, child->GetBestSize().y);
            } else {
                EXPECT_EQ(child->GetRect(), expected.rect);
            }
            EXPECT_EQ(child->IsShown(), expected.shown);
        }

        auto& headline = Control<wxStaticText>(dialog, COrvUpdateDlg::kHeadlineId);
        EXPECT_EQ(FromWx(headline.GetLabelText()), u"Orvel浏览器2.0.1更新已发布！");
        const wxFont font = headline.GetFont();
        EXPECT_EQ(font.GetPointSize(), 18);
        if (wxFontEnumerator::IsValidFacename(ToWx(u"新宋体"))) {
            EXPECT_EQ(FromWx(font.GetFaceName()), u"新宋体");
        } else {
            EXPECT_TRUE(wxFontEnumerator::IsValidFacename(font.GetFaceName()))
                << font.GetFaceName();
        }

        auto& picture = Control<wxStaticBitmap>(dialog, COrvUpdateDlg::kPictureId);
        EXPECT_EQ(picture.GetBitmap().GetSize(), wxSize(40, 40));
        EXPECT_EQ(
            FromWx(Control<wxStaticText>(dialog, COrvUpdateDlg::kNotesCaptionId).GetLabelText()),
            u"更新说明：");
        EXPECT_EQ(FromWx(Control<wxTextCtrl>(dialog, COrvUpdateDlg::kNotesBoxId).GetValue()),
                  u"1、修复了下载中断的问题\r\n\r\n2、更快的启动\r\n\r\n");
        EXPECT_EQ(FromWx(Stage(dialog)), u"正在检测更新配置...");
        EXPECT_EQ(FromWx(Status(dialog)), u"");
        EXPECT_EQ(Bar(dialog).GetRange(), 100);
        EXPECT_EQ(Bar(dialog).GetValue(), 0);
        EXPECT_EQ(FromWx(Control<wxStaticText>(dialog, COrvUpdateDlg::kHintId).GetLabelText()),
                  u"如果更新过慢，您也可访问官网下载最新版：");

        auto& link = Control<wxGenericHyperlinkCtrl>(dialog, COrvUpdateDlg::kLinkId);
        EXPECT_EQ(FromWx(link.GetLabel()), u" http://www.orvel.example/ ");
        EXPECT_EQ(FromWx(link.GetURL()), u"http://www.orvel.example/");
        EXPECT_EQ(FromWx(link.GetToolTipText()), u"点击前往Orvel官网");

        PressEscape(dialog);
    });
    EXPECT_EQ(dialog.ShowModal(), wxID_CANCEL);
    manager.Join();
    // The worker found the dialog's window when it started.
    EXPECT_TRUE(manager.windowKnownAtStart);
}

TEST_F(UpdateDialog, EmptyVersionAndHomepage) {
    ScriptedManager manager;
    manager.serverFileDZ.version.clear();
    manager.serverConfig.homepage.clear();
    COrvUpdateDlg dialog(manager);
    EXPECT_EQ(FromWx(Control<wxStaticText>(dialog, COrvUpdateDlg::kHeadlineId).GetLabelText()),
              u"Orvel浏览器更新已发布！");
    auto& link = Control<wxGenericHyperlinkCtrl>(dialog, COrvUpdateDlg::kLinkId);
    EXPECT_EQ(FromWx(link.GetLabel()), u"  ");
    EXPECT_EQ(FromWx(link.GetURL()), u"");
}

// Each message, posted to the dialog's window, and what the dialog shows after it.
TEST_F(UpdateDialog, ShowsEveryEngineMessage) {
    const std::u16string downloading = u"正在下载更新文件，进度：";
    const std::u16string file = u"bin\\插件 & 扩展.dll";
    struct Step {
        std::uint32_t id;
        std::uintptr_t wParam;
        std::u16string text;
        std::u16string stage;
        std::u16string status;
        int range;
        int position;
    };
    const std::vector<Step> steps = {
        {msg::kDownloadBegin, 0, u"", downloading + u"0%", u"", 0, 0},
        {msg::kDownloadBegin, 2000, u"", downloading + u"0%", u"", 2000, 0},
        {msg::kCurrentFile, 0, file, downloading + u"0%", file, 2000, 0},
        {msg::kDownloadPosition, 14, u"", downloading + u"0%", file, 2000, 14},
        {msg::kDownloadPermille, 7, u"", downloading + u"0.7%", file, 2000, 14},
        {msg::kDownloadPosition, 246, u"", downloading + u"0.7%", file, 2000, 246},
        {msg::kDownloadPermille, 123, u"", downloading + u"12.3%", file, 2000, 246},
        {msg::kUncompressDone, 5, u"", downloading + u"12.3%", file, 2000, 246},
        {msg::kLocalsetDone, 5, u"", downloading + u"12.3%", file, 2000, 246},
        {msg::kCurrentFile, 0, u"", downloading + u"12.3%", u"", 2000, 246},
        {msg::kDownloadPermille, 1000, u"", downloading + u"100.0%", u"", 2000, 246},
        {msg::kDownloadComplete, 2000, u"", downloading + u"100.0%", u"", 2000, 2000},
        // A total beyond the bar's int range is shown in halves.
        {msg::kDownloadBegin, 3000000000u, u"", downloading + u"0%", u"", 1500000000, 0},
        {msg::kDownloadPosition, 2000000000u, u"", downloading + u"0%", u"", 1500000000,
         1000000000},
        {msg::kDownloadBegin, 100, u"", downloading + u"0%", u"", 100, 0},
        {msg::kDownloadComplete, 100, u"", downloading + u"0%", u"", 100, 100},
        {msg::kUncompressStage, 0, u"", u"下载完成，正在解压更新文件...", u"", 100, 100},
        {msg::kLocalsetStage, 0, u"", u"解压完成，正在更新本地文件...", u"", 100, 100},
        {msg::kFinishStage, 0, u"", u"更新完成，正在启动浏览器...", u"", 100, 100},
    };

    ScriptedManager manager;
    COrvUpdateDlg dialog(manager);
    // One message at a time: the check of a step is queued behind the step's own wake-up.
    std::function<void(std::size_t)> run = [&](std::size_t i) {
        if (i == steps.size()) {
            PostTo(dialog, msg::kQuit);
            return;
        }
        const Step& step = steps[i];
        PostTo(dialog, step.id, step.wParam, step.text);
        Later([&, i] {
            SCOPED_TRACE(i);
            EXPECT_EQ(FromWx(Stage(dialog)), step.stage);
            EXPECT_EQ(FromWx(Status(dialog)), step.status);
            EXPECT_EQ(Bar(dialog).GetRange(), step.range);
            EXPECT_EQ(Bar(dialog).GetValue(), step.position);
            EXPECT_TRUE(dialog.IsModal());
            run(i + 1);
        });
    };
    Later([&] { run(0); });

    EXPECT_EQ(dialog.ShowModal(), COrvUpdateDlg::kEndedByWorker);
    // Nothing after WM_QUIT is taken.
    EXPECT_EQ(FromWx(Stage(dialog)), u"更新完成，正在启动浏览器...");
}

// The worker posts from its own thread through the manager, as the engine does.
TEST_F(UpdateDialog, TakesAWorkersMessagesInOrder) {
    constexpr std::uint32_t kTotal = 20000;
    ScriptedManager manager;
    manager.script = [](ScriptedManager& worker) {
        worker.Post(msg::kDownloadBegin, kTotal);
        std::uint32_t shown = 0;
        for (std::uint32_t done = 1; done <= kTotal; ++done) {
            if (done % 5000 == 1) {
                worker.Post(msg::kCurrentFile, 0, u"文件" + std::u16string(1, u'0' + done / 5000));
            }
            worker.Post(msg::kDownloadPosition, done);
            const std::uint32_t permille = done * 1000ull / kTotal;
            if (permille != shown) {
                shown = permille;
                worker.Post(msg::kDownloadPermille, permille);
            }
        }
        worker.Post(msg::kDownloadComplete, kTotal);
        worker.Post(msg::kUncompressStage);
        worker.Post(msg::kQuit);
        // Messages after WM_QUIT find the dialog gone or ending; they change nothing.
        worker.Post(msg::kDownloadBegin, 7);
    };
    COrvUpdateDlg dialog(manager);
    EXPECT_EQ(dialog.ShowModal(), COrvUpdateDlg::kEndedByWorker);
    manager.Join();

    EXPECT_TRUE(manager.windowKnownAtStart);
    EXPECT_EQ(FromWx(Stage(dialog)), u"下载完成，正在解压更新文件...");
    EXPECT_EQ(FromWx(Status(dialog)), u"文件3");
    EXPECT_EQ(Bar(dialog).GetRange(), static_cast<int>(kTotal));
    EXPECT_EQ(Bar(dialog).GetValue(), static_cast<int>(kTotal));
}

TEST_F(UpdateDialog, FrontEndReportsHowTheDialogEnded) {
    {
        ScriptedManager manager;
        manager.script = [](ScriptedManager& worker) {
            worker.Post(msg::kDownloadBegin, 10);
            worker.Post(msg::kQuit);
        };
        EXPECT_EQ(Gui().RunUpdateDialog(manager), FrontEnd::DialogEnd::WorkerQuit);
    }
    {
        ScriptedManager manager;
        Later([] { PressEscape(*wxTheApp->GetTopWindow()); });
        EXPECT_EQ(Gui().RunUpdateDialog(manager), FrontEnd::DialogEnd::ClosedByUser);
    }
}

// Esc and the close button end the dialog at once, except while the installation folder is
// being changed: then it stays, unchanged, until the worker's WM_QUIT.
TEST_F(UpdateDialog, UserCloseWaitsOnlyWhileLocalFilesChange) {
    enum class How { Escape, CloseButton };
    const struct {
        const char* name;
        std::vector<std::uint32_t> before;  // posted before the close
        bool shownBeforeClose;              // or still queued when the user closes
        How how;
        bool waits;
    } cases[] = {
        {"checking", {}, true, How::Escape, false},
        {"downloading", {msg::kDownloadBegin}, true, How::CloseButton, false},
        {"uncompressing", {msg::kDownloadBegin, msg::kUncompressStage}, true, How::Escape, false},
        {"local set-up", {msg::kLocalsetStage}, true, How::Escape, true},
        {"finishing", {msg::kLocalsetStage, msg::kFinishStage}, true, How::CloseButton, true},
        {"local set-up not yet shown",
         {msg::kDownloadBegin, msg::kLocalsetStage},
         false,
         How::Escape,
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedManager manager;
        COrvUpdateDlg dialog(manager);
        auto close = [&] {
            if (c.how == How::Escape) {
                PressEscape(dialog);
            } else {
                dialog.Close();
            }
        };
        wxString stageAtClose;
        Later([&] {
            for (std::uint32_t id : c.before) {
                PostTo(dialog, id, 100);
            }
            if (!c.shownBeforeClose) {
                close();
                return;
            }
            Later([&] {
                stageAtClose = Stage(dialog);
                close();
                if (c.waits) {
                    Later([&] {
                        EXPECT_TRUE(dialog.IsModal());
                        EXPECT_TRUE(dialog.IsShown());
                        EXPECT_EQ(Stage(dialog), stageAtClose);
                        PostTo(dialog, msg::kQuit);
                    });
                }
            });
        });
        if (!c.shownBeforeClose && c.waits) {
            Later([&] {
                EXPECT_TRUE(dialog.IsModal());
                EXPECT_EQ(FromWx(Stage(dialog)), u"解压完成，正在更新本地文件...");
                PostTo(dialog, msg::kQuit);
            });
        }
        EXPECT_EQ(dialog.ShowModal(), c.waits ? COrvUpdateDlg::kEndedByWorker : wxID_CANCEL);
    }
}

TEST_F(UpdateDialog, LinkClickOpensOnlyWebAddresses) {
    // A click on the link itself.
    for (const char* homepage : {"http://www.orvel.example/", "", "file:///bin/sh"}) {
        SCOPED_TRACE(homepage);
        ScriptedManager manager;
        manager.serverConfig.homepage = homepage;
        COrvUpdateDlg dialog(manager);
        std::vector<wxString> opened;
        dialog.openBrowser = [&](const wxString& address) {
            opened.push_back(address);
            return true;
        };
        Later([&] {
            auto& link = Control<wxGenericHyperlinkCtrl>(dialog, COrvUpdateDlg::kLinkId);
            const wxPoint inside(3, link.GetClientSize().y / 2);
            for (wxEventType type : {wxEVT_LEFT_DOWN, wxEVT_LEFT_UP}) {
                wxMouseEvent mouse(type);
                mouse.SetPosition(inside);
                mouse.SetEventObject(&link);
                link.GetEventHandler()->ProcessEvent(mouse);
            }
            EXPECT_TRUE(link.GetVisited());
            PostTo(dialog, msg::kQuit);
        });
        dialog.ShowModal();
        if (*homepage == 'h') {
            EXPECT_EQ(opened, std::vector<wxString>{"http://www.orvel.example/"});
        } else {
            EXPECT_TRUE(opened.empty());
        }
    }
}

// The window manager owns the system menu: a right click anywhere offers the About item.
class MenuRecordingDialog : public COrvUpdateDlg {
public:
    using COrvUpdateDlg::COrvUpdateDlg;
    std::vector<std::pair<int, std::u16string>> items;

protected:
    bool DoPopupMenu(wxMenu* menu, int, int) override {
        for (const wxMenuItem* item : menu->GetMenuItems()) {
            items.emplace_back(item->GetId(), FromWx(item->GetItemLabel()));
        }
        return true;
    }
};

TEST_F(UpdateDialog, ContextMenuOffersTheAboutItem) {
    ScriptedManager manager;
    MenuRecordingDialog dialog(manager);
    Later([&] {
        wxWindow& stageLine = *dialog.FindWindow(COrvUpdateDlg::kStageLineId);
        wxContextMenuEvent click(wxEVT_CONTEXT_MENU, stageLine.GetId(), wxPoint(40, 60));
        click.SetEventObject(&stageLine);
        stageLine.GetEventHandler()->ProcessEvent(click);
        PostTo(dialog, msg::kQuit);
    });
    dialog.ShowModal();
    EXPECT_EQ(dialog.items,
              (std::vector<std::pair<int, std::u16string>>{{0x0010, u"关于 OrvUpdate(&A)..."}}));
}

// Records the modal runs that start and end, in order.
class ModalLog : public wxModalDialogHook {
public:
    ModalLog() { Register(); }
    std::vector<std::string> events;

protected:
    int Enter(wxDialog* dialog) override {
        events.push_back("enter " + Name(dialog));
        return wxID_NONE;
    }
    void Exit(wxDialog* dialog) override { events.push_back("exit " + Name(dialog)); }

private:
    static std::string Name(wxDialog* dialog) {
        if (dynamic_cast<CAboutDlg*>(dialog) != nullptr) {
            return "about";
        }
        if (dynamic_cast<COrvUpdateDlg*>(dialog) != nullptr) {
            return "update";
        }
        return "other";
    }
};

void OpenAboutFromMenu(COrvUpdateDlg& dialog) {
    wxCommandEvent command(wxEVT_MENU, COrvUpdateDlg::kAboutCommand);
    command.SetEventObject(&dialog);
    dialog.GetEventHandler()->ProcessEvent(command);
}

TEST_F(AboutBox, OpensFromTheMenuWhileTheUpdateGoesOn) {
    ScriptedManager manager;
    COrvUpdateDlg dialog(manager);
    ModalLog log;
    bool checkedInside = false;

    Later([&] {
        PostTo(dialog, msg::kDownloadBegin, 1000);
        Later([&] {
            // Runs inside the About box's modal loop.
            CAboutDlg* about = dialog.AboutBox();
            ASSERT_NE(about, nullptr);
            EXPECT_TRUE(about->IsModal());
            EXPECT_EQ(about->GetParent(), &dialog);
            EXPECT_EQ(FromWx(about->GetTitle()), u"关于 OrvUpdate");
            std::vector<std::u16string> texts;
            int icons = 0;
            for (wxWindow* child : about->GetChildren()) {
                if (auto* text = dynamic_cast<wxStaticText*>(child)) {
                    texts.push_back(FromWx(text->GetLabelText()));
                } else if (auto* icon = dynamic_cast<wxStaticBitmap*>(child)) {
                    icons += icon->GetBitmap().IsOk() ? 1 : 0;
                }
            }
            EXPECT_EQ(icons, 1);
            EXPECT_EQ(texts, (std::vector<std::u16string>{u"OrvUpdate，1.0 版",
                                                          u"版权所有 (C) 2026 Orvel"}));
            auto* ok = dynamic_cast<wxButton*>(about->FindWindow(wxID_OK));
            ASSERT_NE(ok, nullptr);
            EXPECT_EQ(FromWx(ok->GetLabel()), u"确定");
            EXPECT_EQ(about->GetDefaultItem(), ok);

            // The engine's messages are still shown behind the box.
            PostTo(dialog, msg::kDownloadPosition, 400);
            PostTo(dialog, msg::kDownloadPermille, 400);
            Later([&, about] {
                EXPECT_EQ(FromWx(Stage(dialog)), u"正在下载更新文件，进度：40.0%");
                EXPECT_EQ(Bar(dialog).GetValue(), 400);
                EXPECT_EQ(dialog.AboutBox(), about);
                checkedInside = true;
                PressEscape(*about);
            });
        });
        OpenAboutFromMenu(dialog);
        // The box ended; the update dialog goes on.
        EXPECT_EQ(dialog.AboutBox(), nullptr);
        EXPECT_TRUE(dialog.IsModal());
        PostTo(dialog, msg::kQuit);
    });

    EXPECT_EQ(dialog.ShowModal(), COrvUpdateDlg::kEndedByWorker);
    EXPECT_TRUE(checkedInside);
    EXPECT_EQ(log.events, (std::vector<std::string>{"enter update", "enter about", "exit about",
                                                    "exit update"}));
}

TEST_F(AboutBox, WorkerQuitEndsTheBoxFirstThenTheDialog) {
    ScriptedManager manager;
    COrvUpdateDlg dialog(manager);
    ModalLog log;
    Later([&] {
        Later([&] {
            ASSERT_NE(dialog.AboutBox(), nullptr);
            PostTo(dialog, msg::kFinishStage);
            PostTo(dialog, msg::kQuit);
        });
        OpenAboutFromMenu(dialog);
    });
    EXPECT_EQ(dialog.ShowModal(), COrvUpdateDlg::kEndedByWorker);
    EXPECT_EQ(FromWx(Stage(dialog)), u"更新完成，正在启动浏览器...");
    EXPECT_EQ(log.events, (std::vector<std::string>{"enter update", "enter about", "exit about",
                                                    "exit update"}));
}

TEST_F(AboutBox, CloseButtonEndsOnlyTheBox) {
    ScriptedManager manager;
    COrvUpdateDlg dialog(manager);
    Later([&] {
        Later([&] {
            ASSERT_NE(dialog.AboutBox(), nullptr);
            dialog.AboutBox()->Close();
        });
        OpenAboutFromMenu(dialog);
        EXPECT_TRUE(dialog.IsModal());
        PostTo(dialog, msg::kQuit);
    });
    EXPECT_EQ(dialog.ShowModal(), COrvUpdateDlg::kEndedByWorker);
}

// Answers message boxes instead of the user, and records them.
class BoxAnswerer : public wxModalDialogHook {
public:
    struct Box {
        std::u16string caption;
        std::u16string text;
        long style;
        bool parentless;
        bool onMainThread;
    };
    explicit BoxAnswerer(int answer) : answer_(answer) { Register(); }
    std::vector<Box> boxes;

protected:
    int Enter(wxDialog* dialog) override {
        auto* box = dynamic_cast<wxMessageDialog*>(dialog);
        if (box == nullptr) {
            return wxID_NONE;
        }
        boxes.push_back({FromWx(box->GetCaption()), FromWx(box->GetMessage()),
                         box->GetMessageDialogStyle(), box->GetParent() == nullptr,
                         wxIsMainThread()});
        return answer_;
    }

private:
    int answer_;
};

TEST_F(MessageBoxes, StartUpBoxIsShownOnTheMainThread) {
    BoxAnswerer answerer(wxID_OK);
    platform::ShowMessageBox(u"Orvel浏览器：启动更新失败", u"获取更新配置信息失败！");
    ASSERT_EQ(answerer.boxes.size(), 1u);
    const auto& box = answerer.boxes[0];
    EXPECT_EQ(box.caption, u"Orvel浏览器：启动更新失败");
    EXPECT_EQ(box.text, u"获取更新配置信息失败！");
    EXPECT_TRUE(box.style & wxOK);
    EXPECT_FALSE(box.style & wxCANCEL);
    EXPECT_TRUE(box.style & wxSTAY_ON_TOP);
    EXPECT_TRUE(box.parentless);
    EXPECT_TRUE(box.onMainThread);
}

// The worker's question runs on the main thread while the dialog is open; the worker waits for
// the answer and goes on with it.
TEST_F(MessageBoxes, WorkersQuestionWaitsForTheAnswer) {
    for (const int answer : {wxID_OK, wxID_CANCEL}) {
        SCOPED_TRACE(answer);
        BoxAnswerer answerer(answer);
        ScriptedManager manager;
        std::atomic<int> result{-1};
        manager.script = [&](ScriptedManager& worker) {
            worker.Post(msg::kLocalsetStage);
            result = platform::AskOkCancel(u"Orvel浏览器：更新失败", u"请关闭浏览器后重试") ? 1 : 0;
            platform::ShowMessageBox(u"Orvel浏览器：更新失败", u"更新本地文件失败！");
            worker.Post(msg::kQuit);
        };
        COrvUpdateDlg dialog(manager);
        EXPECT_EQ(dialog.ShowModal(), COrvUpdateDlg::kEndedByWorker);
        manager.Join();

        EXPECT_EQ(result, answer == wxID_OK ? 1 : 0);
        ASSERT_EQ(answerer.boxes.size(), 2u);
        const auto& question = answerer.boxes[0];
        EXPECT_EQ(question.caption, u"Orvel浏览器：更新失败");
        EXPECT_EQ(question.text, u"请关闭浏览器后重试");
        EXPECT_TRUE(question.style & wxOK);
        EXPECT_TRUE(question.style & wxCANCEL);
        EXPECT_TRUE(question.style & wxSTAY_ON_TOP);
        EXPECT_TRUE(question.parentless);
        EXPECT_TRUE(question.onMainThread);
        EXPECT_FALSE(answerer.boxes[1].style & wxCANCEL);
        EXPECT_TRUE(answerer.boxes[1].onMainThread);
    }
}

TEST(WxText, RoundTripsEveryPlane) {
    const std::u16string text = u"Orvel浏览器 \U0001F600 ©";
    EXPECT_EQ(FromWx(ToWx(text)), text);
    // An unpaired surrogate cannot be shown; it becomes the replacement character.
    EXPECT_EQ(FromWx(ToWx(std::u16string(u"a") + char16_t(0xD800) + u"b")), u"a\uFFFDb");
}

}  // namespace
