#pragma once
// Message boxes on the terminal: the text front end's, and the program's until a front end
// installs its own.

#include "platform/message_box.h"

// Caption and text on standard error, each on its own line; an OK/Cancel question reads one line
// from standard input, where an empty line or "ok" (any case) is OK and anything else, or the
// end of input, is Cancel.
platform::MessageBoxPresenter& TextMessageBoxPresenter();
