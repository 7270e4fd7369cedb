#include "analysis/batch/batch_numbers.hpp"

#include <cmath>
#include <cstdio>

#include "text/edit.hpp"
#include "text/float_chars.hpp"

namespace oskev::analysis {

namespace {

using text::non_finite_text;

// Whether the text gives back `value` read straight into a float and read into a double that
// is then narrowed.
bool reads_back(const std::string& text, float value) {
  float as_float = 0.0f;
  double as_double = 0.0;
  return text::read_decimal(text, as_float) && as_float == value && text::read_decimal(text, as_double) &&
         static_cast<float>(as_double) == value;
}

}  // namespace

std::string float_text(float value) {
  if (const char* word = non_finite_text(static_cast<double>(value))) return word;
  // The shortest text that reads back as `value` exactly when read into a float.
  if (std::string shortest = text::shortest_text(value); reads_back(shortest, value)) return shortest;
  for (int decimals = 1; decimals <= 8; ++decimals) {
    if (std::string scientific = text::scientific_text(value, decimals); reads_back(scientific, value)) return scientific;
  }
  // The float's exact value as a double reads back exactly both ways (not reached for any float).
  return double_text(static_cast<double>(value));
}

std::string double_text(double value) {
  if (const char* word = non_finite_text(value)) return word;
  return text::shortest_text(value);
}

double float_as_short_double(float value) {
  if (!std::isfinite(value)) return static_cast<double>(value);
  const std::string shortest = float_text(value);
  double result = 0.0;
  text::read_decimal(shortest, result);
  return result;
}

std::string seven_digits(double value) {
  if (const char* word = non_finite_text(value)) return word;
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.7G", value);
  return buffer;
}

}  // namespace oskev::analysis
