#include "analysis/batch_text.hpp"

namespace oskev::analysis {

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD
constexpr std::string_view kEllipsis = "\xE2\x80\xA6";     // U+2026

bool continuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// Length of the valid UTF-8 sequence at the start of `text`, or 0 when there is none
// (overlong forms, surrogates and values beyond U+10FFFF are not valid).
std::size_t sequence_length(std::string_view text) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(0);
  if (lead < 0x80) return 1;
  std::size_t length = 0;
  unsigned char low = 0x80;  // bounds of the second byte
  unsigned char high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (text.size() < length || byte(1) < low || byte(1) > high) return 0;
  for (std::size_t i = 2; i < length; ++i) {
    if (!continuation(byte(i))) return 0;
  }
  return length;
}

// Blanks and the C0 and C1 control characters (U+0000 ... U+0020, U+007F ... U+009F).
bool control_or_blank(std::string_view character) {
  const auto first = static_cast<unsigned char>(character[0]);
  if (character.size() == 1) return first <= 0x20 || first == 0x7F;
  return character.size() == 2 && first == 0xC2 && static_cast<unsigned char>(character[1]) <= 0x9F;
}

}  // namespace

std::vector<std::string> characters(std::string_view text) {
  std::vector<std::string> result;
  while (!text.empty()) {
    const std::size_t length = sequence_length(text);
    if (length == 0) {
      result.emplace_back(kReplacement);
      text.remove_prefix(1);
    } else {
      result.emplace_back(text.substr(0, length));
      text.remove_prefix(length);
    }
  }
  return result;
}

std::size_t display_width(std::string_view text) { return characters(text).size(); }

std::string one_line(std::string_view text) {
  std::string result;
  bool gap = false;
  for (const std::string& character : characters(text)) {
    if (control_or_blank(character)) {
      gap = !result.empty();
      continue;
    }
    if (gap) result += ' ';
    gap = false;
    result += character;
  }
  return result;
}

std::string shorten(std::string_view text, std::size_t most) {
  const std::vector<std::string> all = characters(text);
  std::string result;
  if (all.size() <= most) {
    for (const std::string& character : all) result += character;
    return result;
  }
  for (std::size_t i = 0; i + 1 < most; ++i) result += all[i];
  if (most > 0) result += kEllipsis;
  return result;
}

std::string shorten_start(std::string_view text, std::size_t most) {
  const std::vector<std::string> all = characters(text);
  std::string result;
  if (all.size() > most && most > 0) result += kEllipsis;
  const std::size_t keep = all.size() <= most ? all.size() : most > 0 ? most - 1 : 0;
  for (std::size_t i = all.size() - keep; i < all.size(); ++i) result += all[i];
  return result;
}

}  // namespace oskev::analysis
