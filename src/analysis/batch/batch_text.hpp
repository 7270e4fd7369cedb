#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace oskev::analysis {

// Text of the batch table, measured in UTF-8 code points (one column each).

// The characters of `text`: each a whole, valid UTF-8 sequence; a byte that starts no valid
// sequence becomes U+FFFD, so the table is valid UTF-8 whatever the file names held.
std::vector<std::string> characters(std::string_view text);

// The number of characters as `characters` splits them.
std::size_t display_width(std::string_view text);

// One line for a table cell: every run of blanks, tabs, line ends and other control
// characters becomes one blank, with none at either end (a library message spans lines).
std::string one_line(std::string_view text);

// `text` when it has at most `most` characters, otherwise its first most - 1 and an ellipsis.
std::string shorten(std::string_view text, std::size_t most);

// The same, keeping the end instead (the telling part of a file path): an ellipsis and the
// last most - 1 characters.
std::string shorten_start(std::string_view text, std::size_t most);

}  // namespace oskev::analysis
