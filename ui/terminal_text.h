#pragma once
// Text for a terminal: texts from the update server made harmless, and widths in the columns
// that a terminal gives each character. The same on every system.

#include <cstddef>
#include <string>
#include <string_view>

// The text with every control character (C0 including ESC, CR, LF and TAB; DEL; C1) replaced by
// "?", so that it cannot move the cursor, clear the screen or send the terminal a command.
std::u16string WithoutControls(std::u16string_view text);

// The columns that the text takes on a terminal: two for each East Asian wide or fullwidth
// character, none for a combining mark, one for any other character.
std::size_t TerminalColumns(std::u16string_view text);

// The longest start of the text that takes at most `columns`; a wide character that would only
// half fit is left out, marks that follow the last character are kept.
std::u16string FirstColumns(std::u16string_view text, std::size_t columns);

// The text, when it takes more than `columns`, shortened from the left to "..." and the
// longest end that fits beside it; empty when not even "..." fits. The end never starts with a
// combining mark cut off from its character.
std::u16string LastColumns(std::u16string_view text, std::size_t columns);
