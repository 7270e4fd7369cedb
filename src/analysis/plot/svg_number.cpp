// The numbers of the document from the bits of each value: the same text as printf_number,
// without printf.
#include <cmath>
#include <cstdint>

#include "analysis/plot/svg_writer.hpp"
#include "text/bit_cast.hpp"

namespace oskev::analysis::svg {

std::string number(double value) {
  if (!std::isfinite(value)) value = 0.0;
  // value = (-1)^negative x m x 2^-k, with m below 2^53.
  const auto bits = text::bit_cast<std::uint64_t>(value);
  const bool negative = (bits >> 63) != 0;
  const int field = static_cast<int>((bits >> 52) & 0x7FF);
  std::uint64_t m = bits & ((std::uint64_t{1} << 52) - 1);
  int k = 1074;
  if (field != 0) {
    m |= std::uint64_t{1} << 52;
    k = 1075 - field;
  }
  // From 2^53 on (no coordinate comes near) printf's own text.
  if (k < 0) return printf_number(value);
  // The hundredths, m x 100 / 2^k (below 2^60), rounded as printf rounds: to the nearest,
  // a tie to even.
  const std::uint64_t scaled = m * 100;
  std::uint64_t hundredths = 0;
  if (k == 0) {
    hundredths = scaled;
  } else if (k < 64) {
    hundredths = scaled >> k;
    const std::uint64_t rest = scaled & ((std::uint64_t{1} << k) - 1);
    const std::uint64_t half = std::uint64_t{1} << (k - 1);
    if (rest > half || (rest == half && (hundredths & 1) != 0)) ++hundredths;
  }  // else below half a hundredth: 0
  if (hundredths == 0) return "0";
  // The digits, from the last: the hundredths and tenths unless they are trailing zeros.
  char buffer[32];
  char* at = buffer + sizeof buffer;
  const unsigned cents = static_cast<unsigned>(hundredths % 100);
  std::uint64_t whole = hundredths / 100;
  if (cents != 0) {
    if (cents % 10 != 0) *--at = static_cast<char>('0' + cents % 10);
    *--at = static_cast<char>('0' + cents / 10);
    *--at = '.';
  }
  do {
    *--at = static_cast<char>('0' + whole % 10);
    whole /= 10;
  } while (whole != 0);
  if (negative) *--at = '-';
  return std::string(at, buffer + sizeof buffer);
}

}  // namespace oskev::analysis::svg
