#include "text/edit.hpp"

#include <cmath>
#include <cstdio>

namespace oskev::text {

std::string right_justify(const std::string& text, int width) {
  if (static_cast<int>(text.size()) >= width) return text;
  return std::string(static_cast<std::size_t>(width) - text.size(), ' ') + text;
}

std::string edit_integer(long long value, int width) {
  std::string digits = std::to_string(value);
  if (static_cast<int>(digits.size()) > width) return std::string(static_cast<std::size_t>(width), '*');
  return right_justify(digits, width);
}

const char* non_finite_text(double value) {
  if (std::isnan(value)) return "NaN";
  if (std::isinf(value)) return value > 0 ? "Infinity" : "-Infinity";
  return nullptr;
}

std::string edit_fixed(double value, int width, int decimals) {
  std::string text;
  if (const char* word = non_finite_text(value)) {
    text = word;
  } else {
    // Exact decimal rounding of the binary value (ties to even), as the C library does it.
    char buffer[512];
    std::snprintf(buffer, sizeof buffer, "%.*f", decimals, value);
    text = buffer;
  }
  if (static_cast<int>(text.size()) > width) return std::string(static_cast<std::size_t>(width), '*');
  return right_justify(text, width);
}

}  // namespace oskev::text
