#pragma once
// A message-box presenter that records what the user would see and answers from a script.

#include <cstddef>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "platform/message_box.h"

namespace testsupport {

struct Box {
    std::u16string caption;
    std::u16string text;
    bool okCancel = false;
};

// Installed for its lifetime. Questions take the scripted answers in order, then the default.
class RecordingPresenter : public platform::MessageBoxPresenter {
public:
    explicit RecordingPresenter(bool defaultAnswer = true) : defaultAnswer_(defaultAnswer) {
        previous_ = platform::SetMessageBoxPresenter(this);
    }
    ~RecordingPresenter() override { platform::SetMessageBoxPresenter(previous_); }

    bool Present(const std::u16string& caption, const std::u16string& text,
                 bool okCancel) override {
        boxes.push_back({caption, text, okCancel});
        if (onQuestion && okCancel) {
            onQuestion(Questions());
        }
        if (!okCancel) {
            return true;
        }
        if (answers.empty()) {
            return defaultAnswer_;
        }
        const bool answer = answers.front();
        answers.pop_front();
        return answer;
    }

    std::size_t Questions() const {
        std::size_t count = 0;
        for (const Box& box : boxes) {
            count += box.okCancel ? 1 : 0;
        }
        return count;
    }

    std::vector<Box> boxes;
    std::deque<bool> answers;
    // Called with the number of the question before it is answered.
    std::function<void(std::size_t)> onQuestion;

private:
    bool defaultAnswer_;
    platform::MessageBoxPresenter* previous_ = nullptr;
};
}  // namespace testsupport
