// Without a user interface a POSIX system has no box of its own: the text is shown on standard
// error, a question is not asked.

#include "platform/console.h"
#include "platform/message_box_system.h"
#include "platform/text_codepage.h"

namespace platform {

bool PresentSystemBox(const std::u16string& caption, const std::u16string& text, bool okCancel) {
    WriteStandardError(Utf16ToUtf8(caption) + "\n" + Utf16ToUtf8(text) + "\n");
    return !okCancel;
}

}  // namespace platform
