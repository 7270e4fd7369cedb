#include "text/utf8.hpp"

#include <vector>

namespace oskev::text {

std::size_t utf8_length(std::string_view text, std::size_t i) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char lead = byte(i);
  if (lead < 0x80) return 1;
  std::size_t n = 0;
  unsigned char lo = 0x80, hi = 0xBF;  // the range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    n = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    n = 3;
    if (lead == 0xE0) lo = 0xA0;  // no overlong forms
    if (lead == 0xED) hi = 0x9F;  // no surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    n = 4;
    if (lead == 0xF0) lo = 0x90;
    if (lead == 0xF4) hi = 0x8F;  // nothing beyond U+10FFFF
  } else {
    return 0;
  }
  if (i + n > text.size()) return 0;
  if (byte(i + 1) < lo || byte(i + 1) > hi) return 0;
  for (std::size_t k = 2; k < n; ++k) {
    if (byte(i + k) < 0x80 || byte(i + k) > 0xBF) return 0;
  }
  return n;
}

namespace {

std::vector<std::string_view> characters_of(std::string_view text) {
  std::vector<std::string_view> result;
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t n = utf8_length(text, i);
    result.push_back(text.substr(i, n == 0 ? 1 : n));  // a byte that is no UTF-8 stands alone
    i += n == 0 ? 1 : n;
  }
  return result;
}

std::string_view shown_character(std::string_view character) {
  if (utf8_length(character, 0) != character.size() || is_control_character(character)) return "?";
  return character;
}

}  // namespace

bool is_control_character(std::string_view c) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(c[k]); };
  switch (c.size()) {
    case 1: return byte(0) < 0x20 || byte(0) == 0x7F;
    case 2: return (byte(0) == 0xC2 && byte(1) <= 0x9F) || (byte(0) == 0xD8 && byte(1) == 0x9C);  // C1, U+061C
    case 3:
      if (byte(0) != 0xE2) return false;
      if (byte(1) == 0x80) {
        const unsigned char last = byte(2);
        return last == 0x8E || last == 0x8F || (last >= 0xA8 && last <= 0xAE);  // U+200E/F, U+2028 ... U+202E
      }
      return byte(1) == 0x81 && byte(2) >= 0xA6 && byte(2) <= 0xA9;  // U+2066 ... U+2069
    default: return false;
  }
}

std::string neutralised(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const std::string_view character : characters_of(text)) out += shown_character(character);
  return out;
}

std::string shown_name(std::string_view name, std::size_t most) {
  const std::vector<std::string_view> all = characters_of(name);
  if (all.size() <= most) return neutralised(name);
  const std::size_t kept = most > 3 ? most - 3 : 1;
  const std::size_t head = (kept + 1) / 2, tail = kept - head;
  std::string out;
  for (std::size_t i = 0; i < head; ++i) out += shown_character(all[i]);
  out += "...";
  for (std::size_t i = all.size() - tail; i < all.size(); ++i) out += shown_character(all[i]);
  return out;
}

}  // namespace oskev::text
