#include "analysis/batch/batch_numbers.hpp"

#include <charconv>
#include <cmath>
#include <cstdio>

#include "text/edit.hpp"

namespace oskev::analysis {

namespace {

using text::non_finite_text;

// Whether the text gives back `value` read straight into a float and read into a double that
// is then narrowed. (from_chars, unlike strtod, does not depend on the locale.)
bool reads_back(const char* first, const char* last, float value) {
  float as_float = 0.0f;
  double as_double = 0.0;
  return std::from_chars(first, last, as_float).ec == std::errc() && as_float == value &&
         std::from_chars(first, last, as_double).ec == std::errc() && static_cast<float>(as_double) == value;
}

}  // namespace

std::string float_text(float value) {
  if (const char* word = non_finite_text(static_cast<double>(value))) return word;
  char buffer[64];
  // Without a format, to_chars writes the shortest text that reads back as `value` exactly.
  std::to_chars_result result = std::to_chars(buffer, buffer + sizeof buffer, value);
  if (reads_back(buffer, result.ptr, value)) return std::string(buffer, result.ptr);
  for (int decimals = 1; decimals <= 8; ++decimals) {
    result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific, decimals);
    if (reads_back(buffer, result.ptr, value)) return std::string(buffer, result.ptr);
  }
  // The float's exact value as a double reads back exactly both ways (not reached for any float).
  return double_text(static_cast<double>(value));
}

std::string double_text(double value) {
  if (const char* word = non_finite_text(value)) return word;
  char buffer[64];
  const std::to_chars_result result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

double float_as_short_double(float value) {
  if (!std::isfinite(value)) return static_cast<double>(value);
  const std::string text = float_text(value);
  double result = 0.0;
  std::from_chars(text.data(), text.data() + text.size(), result);
  return result;
}

std::string seven_digits(double value) {
  if (const char* word = non_finite_text(value)) return word;
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.7G", value);
  return buffer;
}

}  // namespace oskev::analysis
