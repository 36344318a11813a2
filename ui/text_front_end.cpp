// The text front end: the update dialog on standard error, for machines without a display.
// On a terminal one status line is redrawn in place; in a file or pipe each stage and each file
// gets one line of its own, never one per chunk. Texts from the update server (version, home
// page, file names) are shown without their control characters, so that a server cannot send the
// terminal escape sequences.

#include <chrono>
#include <mutex>
#include <string>

#include "core/messages.h"
#include "engine/update_manager.h"
#include "platform/console.h"
#include "platform/interrupt.h"
#include "platform/message_box.h"
#include "platform/message_target.h"
#include "platform/text_codepage.h"
#include "ui/dialog_model.h"
#include "ui/front_end.h"
#include "ui/terminal_text.h"
#include "ui/text_presenter.h"

namespace {

constexpr int kBarWidth = 30;
constexpr auto kRedrawInterval = std::chrono::milliseconds(100);

std::string Utf8(const std::u16string& text) {
    return platform::Utf16ToUtf8(text);
}

// Shares standard error between the status display (main thread) and message boxes (either
// thread): a box first ends the status line that is being redrawn.
class Console {
public:
    void Write(const std::string& text, bool leavesLineOpen) {
        std::lock_guard<std::mutex> lock(mutex_);
        platform::WriteStandardError(text);
        lineOpen_ = leavesLineOpen;
    }
    void EndOpenLine() {
        std::lock_guard<std::mutex> lock(mutex_);
        if (lineOpen_) {
            platform::WriteStandardError("\n");
            lineOpen_ = false;
        }
    }

private:
    std::mutex mutex_;
    bool lineOpen_ = false;
};

class ConsolePresenter : public platform::MessageBoxPresenter {
public:
    explicit ConsolePresenter(Console& console) : console_(console) {}
    bool Present(const std::u16string& caption, const std::u16string& text,
                 bool okCancel) override {
        console_.EndOpenLine();
        return TextMessageBoxPresenter().Present(caption, text, okCancel);
    }

private:
    Console& console_;
};

// A text from the update server as the terminal may show it.
std::string FromServer(const std::u16string& text) {
    return Utf8(WithoutControls(text));
}

std::u16string ProgressBar(std::uint32_t permille) {
    const int filled = static_cast<int>(permille > 1000 ? 1000 : permille) * kBarWidth / 1000;
    return u"[" + std::u16string(filled, u'#') + std::u16string(kBarWidth - filled, u'.') + u"]";
}

class TextFrontEnd : public FrontEnd {
public:
    TextFrontEnd()
        : presenter_(console_), previous_(platform::SetMessageBoxPresenter(&presenter_)) {}
    ~TextFrontEnd() override { platform::SetMessageBoxPresenter(previous_); }

    DialogEnd RunUpdateDialog(CUpdateManager& manager) override {
        terminal_ = platform::StandardErrorIsTerminal();
        console_.Write(Utf8(kDialogCaption) + "\n" +
                           Utf8(HeadlineText(WithoutControls(manager.GetServerVersionText()))) +
                           "\n" + Utf8(kHintText) + FromServer(manager.GetHomepageText()) + "\n",
                       false);

        manager.window = &window_;
        platform::CatchInterrupts();
        manager.Start();

        bool closing = false;
        for (;;) {
            platform::Message message;
            if (window_.WaitFor(message, kRedrawInterval)) {
                if (Take(message)) {
                    return DialogEnd::WorkerQuit;
                }
            } else if (terminal_ && dirty_) {
                Redraw();
            }
            if (!closing && platform::InterruptRequested()) {
                // Decide on everything the worker has reported so far, not on what was shown.
                while (window_.TryTake(message)) {
                    if (Take(message)) {
                        return DialogEnd::WorkerQuit;
                    }
                }
                if (!model_.MustWaitForWorker()) {
                    console_.EndOpenLine();
                    return DialogEnd::ClosedByUser;
                }
                // The installation folder is being changed: leave no half-copied file behind.
                closing = true;
                console_.EndOpenLine();
                console_.Write("正在更新本地文件，完成后退出...\n", false);
            }
        }
    }

private:
    // Applies and shows one message; true at the worker's WM_QUIT.
    bool Take(const platform::Message& message) {
        const DialogModel::Stage before = model_.stage;
        model_.Apply(message);
        Show(message.id, before, model_.quit);
        if (model_.quit) {
            console_.EndOpenLine();
        }
        return model_.quit;
    }

    void Show(std::uint32_t id, DialogModel::Stage before, bool last) {
        if (terminal_) {
            dirty_ = true;
            const bool urgent = id != msg::kDownloadPosition && id != msg::kDownloadPermille;
            if (urgent || last ||
                std::chrono::steady_clock::now() - lastRedraw_ >= kRedrawInterval) {
                Redraw();
            }
            return;
        }
        switch (id) {
            case msg::kDownloadBegin:
            case msg::kUncompressStage:
            case msg::kLocalsetStage:
            case msg::kFinishStage:
                if (model_.stage != before || id == msg::kDownloadBegin) {
                    console_.Write(Utf8(model_.stageLine) + "\n", false);
                }
                break;
            case msg::kDownloadComplete:
                console_.Write(Utf8(model_.stageLine + u" " + ProgressBar(model_.permille)) + "\n",
                               false);
                break;
            case msg::kCurrentFile:
                console_.Write("  " + FromServer(model_.statusLine) + "\n", false);
                break;
            default:
                break;
        }
    }

    // The line never reaches the terminal's last column: a full line wraps the cursor on some
    // terminals, and the next "\r" would then redraw one line lower, leaving this one behind.
    // The stage and the bar come first; the file name gets what is left, and its end is kept,
    // as that is what tells files apart.
    void Redraw() {
        const std::size_t room = platform::StandardErrorColumns() - 1;
        std::u16string line = model_.stageLine;
        if (model_.stage == DialogModel::Stage::Downloading) {
            line += u" " + ProgressBar(model_.permille);
        }
        line = FirstColumns(line, room);
        const std::size_t used = TerminalColumns(line);
        if (!model_.statusLine.empty() && used + 1 < room) {
            const std::u16string name =
                LastColumns(WithoutControls(model_.statusLine), room - used - 1);
            if (!name.empty()) {
                line += u" " + name;
            }
        }
        console_.Write("\r\x1b[2K" + Utf8(line), true);
        dirty_ = false;
        lastRedraw_ = std::chrono::steady_clock::now();
    }

    // The dialog's window outlives the dialog: a worker that goes on after the user closed it
    // still posts to it.
    platform::MessageTarget window_;
    Console console_;
    ConsolePresenter presenter_;
    platform::MessageBoxPresenter* previous_;
    DialogModel model_;
    bool terminal_ = false;
    bool dirty_ = false;
    std::chrono::steady_clock::time_point lastRedraw_{};
};

}  // namespace

std::unique_ptr<FrontEnd> MakeTextFrontEnd() {
    return std::make_unique<TextFrontEnd>();
}
