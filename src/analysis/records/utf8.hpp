#pragma once

#include <cstddef>
#include <string_view>

namespace oskev::records {

// The length in bytes (1 to 4) of the valid UTF-8 sequence that starts at text[i], or 0 where
// none does: a stray continuation byte, a sequence cut short, an overlong form, a surrogate or
// a value beyond U+10FFFF. User text (labels, names) is measured and cleaned with it.
std::size_t utf8_length(std::string_view text, std::size_t i);

}  // namespace oskev::records
