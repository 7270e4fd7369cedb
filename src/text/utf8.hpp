#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace oskev::text {

// The length in bytes (1 to 4) of the valid UTF-8 sequence that starts at text[i], or 0 where
// none does: a stray continuation byte, a sequence cut short, an overlong form, a surrogate or
// a value beyond U+10FFFF. User text (labels, names) is measured and cleaned with it.
std::size_t utf8_length(std::string_view text, std::size_t i);

// Whether `character`, one valid UTF-8 sequence, steers how a terminal or a text's direction
// shows what follows instead of showing itself: the C0 and C1 control characters and DEL
// (U+0000 ... U+001F, U+007F ... U+009F; ESC starts a terminal's escape sequences), the
// bidirectional controls (U+061C, U+200E, U+200F, U+202A ... U+202E, U+2066 ... U+2069; U+202E
// shows the rest of a line backwards) and the line and paragraph separators U+2028, U+2029.
bool is_control_character(std::string_view character);

// Text from outside the program (a file's name, an argument, a meta-analysis's name, a study's
// label) with every control character and every byte that is no UTF-8 shown as '?', so that it
// can be shown on a terminal, in a table or in a picture and shows only itself.
std::string neutralised(std::string_view text);

// The most characters of a name in a message.
inline constexpr std::size_t kMostNameCharacters = 80;

// A name as a message shows it: neutralised, and when longer than `most` characters its first
// and last characters with "..." between them (the end of a file's name says the most), so
// that a message stays one short line whatever the name.
std::string shown_name(std::string_view name, std::size_t most = kMostNameCharacters);

}  // namespace oskev::text
