#include "analysis/svg_writer.hpp"

#include <cmath>
#include <cstdio>
#include <utility>

namespace oskev::analysis::svg {

std::string number(double value) {
  if (!std::isfinite(value)) value = 0.0;
  // Coordinates of the drawing stay within a few thousand pixels; two decimals are finer
  // than any screen, and a fixed format never switches to an exponent.
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.2f", value);
  std::string text(buffer);
  while (text.back() == '0') text.pop_back();
  if (text.back() == '.') text.pop_back();
  if (text == "-0") text = "0";
  return text;
}

Attribute::Attribute(std::string_view name, double value) : name(name), value(number(value)) {}

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
  if (n == 3 && lead == 0xEF && byte(i + 1) == 0xBF && byte(i + 2) >= 0xBE) return 0;  // U+FFFE, U+FFFF
  return n;
}

std::string escape(std::string_view text) {
  constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const char c = text[i];
    const std::size_t n = utf8_length(text, i);
    if (n == 0 || (n == 1 && static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n' && c != '\r')) {
      out += kReplacement;
      ++i;
      continue;
    }
    if (n > 1) {
      out += text.substr(i, n);
      i += n;
      continue;
    }
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&apos;"; break;
      default: out += c;
    }
    ++i;
  }
  return out;
}

Document::Document(double width, double height, std::string_view title, std::string_view font_family) {
  text_ = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  text_ += "<svg xmlns=\"http://www.w3.org/2000/svg\" version=\"1.1\" width=\"" + number(width) + "\" height=\"" +
           number(height) + "\" viewBox=\"0 0 " + number(width) + " " + number(height) + "\" font-family=\"" +
           escape(font_family) + "\">\n";
  text_ += "<title>" + escape(title) + "</title>\n";
  // An opaque page, so viewers with a dark background still show black text.
  text_ += "<rect x=\"0\" y=\"0\" width=\"" + number(width) + "\" height=\"" + number(height) +
           "\" fill=\"#ffffff\"/>\n";
}

void Document::open_tag(std::string_view tag, Attributes attributes) {
  text_ += '<';
  text_ += tag;
  for (const Attribute& a : attributes) {
    text_ += ' ';
    text_ += a.name;
    text_ += "=\"";
    text_ += escape(a.value);
    text_ += '"';
  }
}

void Document::begin(std::string_view tag, Attributes attributes) {
  open_tag(tag, attributes);
  text_ += ">\n";
  open_.emplace_back(tag);
}

void Document::end() {
  if (open_.empty()) return;
  text_ += "</" + open_.back() + ">\n";
  open_.pop_back();
}

void Document::add(std::string_view tag, Attributes attributes) {
  open_tag(tag, attributes);
  text_ += "/>\n";
}

void Document::add_text(std::string_view content, Attributes attributes) {
  open_tag("text", attributes);
  text_ += '>';
  text_ += escape(content);
  text_ += "</text>\n";
}

std::string Document::finish() {
  while (!open_.empty()) end();
  text_ += "</svg>\n";
  return std::move(text_);
}

}  // namespace oskev::analysis::svg
