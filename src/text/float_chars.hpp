#pragma once

// Decimal text of floating-point values as std::to_chars and std::from_chars give it, also
// where the standard library lacks their floating-point forms (the WebAssembly build's).

#include <string>
#include <string_view>

namespace oskev::text {

// The shortest decimal that reads back as `value` exactly, fixed or scientific whichever is
// shorter (fixed on a tie): std::to_chars(first, last, value) without a format. Values that
// are not finite are "inf", "-inf", "nan".
std::string shortest_text(float value);
std::string shortest_text(double value);

// printf's "%.{decimals}e": std::to_chars(..., std::chars_format::scientific, decimals).
std::string scientific_text(double value, int decimals);

// Reads the whole of `text` as a decimal, correctly rounded; false when it is not one.
bool read_decimal(std::string_view text, float& value);
bool read_decimal(std::string_view text, double& value);

// The same without the standard library's floating-point to_chars and from_chars: from
// printf's correctly rounded digits and strtof/strtod. Always built, so that the tests can
// check it against the standard library's on every platform that has both.
namespace portable {
std::string shortest_text(float value);
std::string shortest_text(double value);
bool read_decimal(std::string_view text, float& value);
bool read_decimal(std::string_view text, double& value);
}  // namespace portable

}  // namespace oskev::text
