#include "analysis/batch/batch_text.hpp"

#include "analysis/records/utf8.hpp"

namespace oskev::analysis {

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD
constexpr std::string_view kEllipsis = "\xE2\x80\xA6";     // U+2026

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
    const std::size_t length = records::utf8_length(text, 0);
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
    // The other controls (U+202E, say, would show the rest of the line backwards) show as '?'.
    result += text::is_control_character(character) ? std::string("?") : character;
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
