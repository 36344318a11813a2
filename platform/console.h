#pragma once
// The text front end's terminal: standard error and standard input.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

// Whether standard error is a terminal (redrawn in place) or a file or pipe (one line each).
bool StandardErrorIsTerminal();
// The width of standard error's terminal in columns, read anew at each call so that a resized
// window is followed; 80 when it is not a terminal or does not say.
std::size_t StandardErrorColumns();
// Writes UTF-8 text to standard error at once; safe from any thread.
void WriteStandardError(std::string_view utf8);
// One line from standard input without its line end; nothing at the end of input.
std::optional<std::string> ReadStandardInputLine();

}  // namespace platform
