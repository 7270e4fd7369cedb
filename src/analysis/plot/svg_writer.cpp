#include "analysis/plot/svg_writer.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <utility>

#include "analysis/records/utf8.hpp"

namespace oskev::analysis::svg {

std::string printf_number(double value) {
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
  const std::size_t n = records::utf8_length(text, i);
  // U+FFFE and U+FFFF are no characters of an XML document.
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  if (n == 3 && byte(i) == 0xEF && byte(i + 1) == 0xBF && byte(i + 2) >= 0xBE) return 0;
  return n;
}

std::string escape(std::string_view text) {
  // Most text (every number) holds nothing to replace: printable ASCII but the five.
  const bool plain = std::all_of(text.begin(), text.end(), [](char c) {
    return c >= 0x20 && c < 0x7F && c != '&' && c != '<' && c != '>' && c != '"' && c != '\'';
  });
  if (plain) return std::string(text);
  constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const char c = text[i];
    const std::size_t n = utf8_length(text, i);
    // Control characters, bidirectional ones included (U+202E would show the rest backwards),
    // show as the replacement character; tab and line ends are XML's own blanks.
    if (n == 0 || (c != '\t' && c != '\n' && c != '\r' && text::is_control_character(text.substr(i, n)))) {
      out += kReplacement;
      i += n == 0 ? 1 : n;
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
