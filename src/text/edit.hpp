#pragma once

// Text layer: fixed-column edits of numbers, shared by the library's messages and the program's records; depends on nothing.

#include <string>

namespace oskev::text {

// Formatted edits of single values, as in fixed-column records.

// Iw: the integer right-justified in `width` columns, a minus sign for negative values;
// a value too wide for the field is written as `width` asterisks.
std::string edit_integer(long long value, int width);

// Fw.d: the value right-justified in `width` columns with exactly `decimals` digits after
// the decimal point, rounded; a 0 before the point below 1 in magnitude; `width` asterisks
// when the rounded form does not fit. NaN, Infinity and -Infinity are right-justified.
std::string edit_fixed(double value, int width, int decimals);

// The console's spelling of a value that is not finite ("NaN", "Infinity", "-Infinity"), or
// nullptr for a finite one; every report of the program writes such values this way.
const char* non_finite_text(double value);

// Right-justifies `text` in `width` columns (no cut when wider).
std::string right_justify(const std::string& text, int width);

}  // namespace oskev::text
