#include "analysis/records/edit.hpp"

#include <cmath>
#include <cstdio>

namespace oskev::records {

std::string right_justify(const std::string& text, int width) {
  if (static_cast<int>(text.size()) >= width) return text;
  return std::string(static_cast<std::size_t>(width) - text.size(), ' ') + text;
}

std::string edit_integer(long long value, int width) {
  std::string digits = std::to_string(value);
  if (static_cast<int>(digits.size()) > width) return std::string(static_cast<std::size_t>(width), '*');
  return right_justify(digits, width);
}

std::string edit_fixed(double value, int width, int decimals) {
  std::string text;
  if (std::isnan(value)) {
    text = "NaN";
  } else if (std::isinf(value)) {
    text = value > 0 ? "Infinity" : "-Infinity";
  } else {
    // Exact decimal rounding of the binary value (ties to even), as the C library does it.
    char buffer[512];
    std::snprintf(buffer, sizeof buffer, "%.*f", decimals, value);
    text = buffer;
  }
  if (static_cast<int>(text.size()) > width) return std::string(static_cast<std::size_t>(width), '*');
  return right_justify(text, width);
}

}  // namespace oskev::records
