// How a question is answered on the terminal.

#include <mutex>
#include <optional>
#include <string>

#include "platform/console.h"
#include "platform/text_codepage.h"
#include "ui/text_presenter.h"

namespace {

std::string Trimmed(const std::string& text) {
    const char* blanks = " \t\r\n\v\f";
    const std::size_t first = text.find_first_not_of(blanks);
    if (first == std::string::npos) {
        return {};
    }
    const std::size_t last = text.find_last_not_of(blanks);
    return text.substr(first, last - first + 1);
}

class TextPresenter : public platform::MessageBoxPresenter {
public:
    bool Present(const std::u16string& caption, const std::u16string& text,
                 bool okCancel) override {
        // A box and its answer belong together even when two threads show boxes at once.
        std::lock_guard<std::mutex> lock(mutex_);
        platform::WriteStandardError(platform::Utf16ToUtf8(caption) + "\n" +
                                     platform::Utf16ToUtf8(text) + "\n");
        if (!okCancel) {
            return true;
        }
        const std::optional<std::string> line = platform::ReadStandardInputLine();
        if (!line) {
            return false;
        }
        std::string answer = Trimmed(*line);
        for (char& c : answer) {
            if (c >= 'A' && c <= 'Z') {
                c = static_cast<char>(c - 'A' + 'a');
            }
        }
        return answer.empty() || answer == "ok";
    }

private:
    std::mutex mutex_;
};

}  // namespace

platform::MessageBoxPresenter& TextMessageBoxPresenter() {
    static TextPresenter presenter;
    return presenter;
}
