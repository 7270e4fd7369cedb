#include "text/float_chars.hpp"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

namespace oskev::text {

namespace portable {

namespace {

template <typename T>
bool parse(const std::string& text, T& value) {
  if (text.empty() || text.front() == ' ' || text.front() == '+') return false;
  char* end = nullptr;
  if constexpr (std::is_same_v<T, float>) {
    value = std::strtof(text.c_str(), &end);
  } else {
    value = std::strtod(text.c_str(), &end);
  }
  return end == text.c_str() + text.size();
}

// `digits` (no sign, no point) times 10^(exponent - digits.size() + 1): d.ddd × 10^exponent.
struct Decimal {
  std::string digits;
  int exponent = 0;
};

Decimal scientific_parts(double magnitude, int significant) {
  char buffer[1024];
  std::snprintf(buffer, sizeof buffer, "%.*e", significant - 1, magnitude);
  Decimal d;
  const char* p = buffer;
  for (; *p != 'e'; ++p) {
    if (*p != '.') d.digits += *p;
  }
  d.exponent = std::atoi(p + 1);
  return d;
}

std::string scientific_form(const Decimal& d) {
  std::string text(1, d.digits[0]);
  if (d.digits.size() > 1) text += "." + d.digits.substr(1);
  const int e = std::abs(d.exponent);
  text += d.exponent < 0 ? "e-" : "e+";
  if (e < 10) text += '0';
  return text + std::to_string(e);
}

std::string fixed_form(const Decimal& d) {
  const int size = static_cast<int>(d.digits.size());
  if (d.exponent < 0) return "0." + std::string(static_cast<std::size_t>(-d.exponent - 1), '0') + d.digits;
  if (d.exponent >= size - 1) return d.digits + std::string(static_cast<std::size_t>(d.exponent - size + 1), '0');
  return d.digits.substr(0, static_cast<std::size_t>(d.exponent) + 1) + "." +
         d.digits.substr(static_cast<std::size_t>(d.exponent) + 1);
}

// The decimal one unit of the last digit away from `d`, up or down, with its own exponent.
Decimal neighbour(Decimal d, int step) {
  std::string& s = d.digits;
  int i = static_cast<int>(s.size()) - 1;
  if (step > 0) {
    while (i >= 0 && s[static_cast<std::size_t>(i)] == '9') s[static_cast<std::size_t>(i--)] = '0';
    if (i < 0) {
      s.insert(s.begin(), '1');
      s.pop_back();
      ++d.exponent;
    } else {
      ++s[static_cast<std::size_t>(i)];
    }
  } else {
    while (i >= 0 && s[static_cast<std::size_t>(i)] == '0') s[static_cast<std::size_t>(i--)] = '9';
    if (i < 0) return {};
    --s[static_cast<std::size_t>(i)];
    if (s[0] == '0') {
      if (s.size() == 1) return {};
      s.erase(s.begin());
      s += '9';
      --d.exponent;
    }
  }
  return d;
}

template <typename T>
bool reads_back(const Decimal& d, T magnitude) {
  if (d.digits.empty()) return false;
  T read = 0;
  return parse(scientific_form(d), read) && read == magnitude;
}

template <typename T>
std::string shortest(T value) {
  if (std::isnan(value)) return std::signbit(value) ? "-nan" : "nan";
  if (std::isinf(value)) return value < 0 ? "-inf" : "inf";
  const std::string sign = std::signbit(value) ? "-" : "";
  const T magnitude = std::abs(value);
  if (magnitude == 0) return sign + "0";
  // The decimal of `significant` digits that reads back, if any: the nearest, or beside a
  // power of two, where the decimals that read back lie unevenly about the value, a neighbour
  // (never both neighbours, as they enclose the nearest).
  auto reading_back = [magnitude](int significant, Decimal& found) {
    const Decimal nearest = scientific_parts(static_cast<double>(magnitude), significant);
    for (const Decimal& candidate : {nearest, neighbour(nearest, -1), neighbour(nearest, 1)}) {
      if (reads_back(candidate, magnitude)) {
        found = candidate;
        return true;
      }
    }
    return false;
  };
  // Once some number of digits reads back, every larger number does: the fewest are found by
  // halving (max_digits10 always reads back).
  int fewest = 1;
  int most = std::numeric_limits<T>::max_digits10;
  Decimal found;
  while (fewest < most) {
    const int middle = (fewest + most) / 2;
    if (reading_back(middle, found)) {
      most = middle;
    } else {
      fewest = middle + 1;
    }
  }
  reading_back(fewest, found);
  while (found.digits.size() > 1 && found.digits.back() == '0') found.digits.pop_back();
  const std::string scientific = scientific_form(found);
  std::string fixed = fixed_form(found);
  if (fixed.size() > scientific.size()) return sign + scientific;
  // A whole number with more digits than the shortest decimal has is written exactly.
  if (found.exponent >= static_cast<int>(found.digits.size())) {
    char buffer[512];
    std::snprintf(buffer, sizeof buffer, "%.0f", static_cast<double>(magnitude));
    fixed = buffer;
  }
  return sign + fixed;
}

}  // namespace

std::string shortest_text(float value) { return shortest(value); }
std::string shortest_text(double value) { return shortest(value); }
bool read_decimal(std::string_view text, float& value) { return parse(std::string(text), value); }
bool read_decimal(std::string_view text, double& value) { return parse(std::string(text), value); }

}  // namespace portable

#if defined(__cpp_lib_to_chars)

namespace {

template <typename T>
std::string standard_shortest(T value) {
  char buffer[64];
  const std::to_chars_result result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

template <typename T>
bool standard_read(std::string_view text, T& value) {
  T read = 0;
  const std::from_chars_result result = std::from_chars(text.data(), text.data() + text.size(), read);
  if (result.ec != std::errc() || result.ptr != text.data() + text.size()) return false;
  value = read;
  return true;
}

}  // namespace

std::string shortest_text(float value) { return standard_shortest(value); }
std::string shortest_text(double value) { return standard_shortest(value); }
bool read_decimal(std::string_view text, float& value) { return standard_read(text, value); }
bool read_decimal(std::string_view text, double& value) { return standard_read(text, value); }

#else

std::string shortest_text(float value) { return portable::shortest_text(value); }
std::string shortest_text(double value) { return portable::shortest_text(value); }
bool read_decimal(std::string_view text, float& value) { return portable::read_decimal(text, value); }
bool read_decimal(std::string_view text, double& value) { return portable::read_decimal(text, value); }

#endif

std::string scientific_text(double value, int decimals) {
  char buffer[512];
  std::snprintf(buffer, sizeof buffer, "%.*e", decimals, value);
  return buffer;
}

}  // namespace oskev::text
