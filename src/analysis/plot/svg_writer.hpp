#pragma once

#include <cstddef>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace oskev::analysis::svg {

// One attribute of an element. Numbers are written with at most two decimals; a number that
// is not finite is written as 0, so no coordinate of the document can read "nan" or "inf"
// (the drawing never asks for one, this is the last guard).
struct Attribute {
  Attribute(std::string_view name, std::string_view value) : name(name), value(value) {}
  Attribute(std::string_view name, const char* value) : name(name), value(value) {}
  Attribute(std::string_view name, const std::string& value) : name(name), value(value) {}
  Attribute(std::string_view name, double value);
  Attribute(std::string_view name, int value) : Attribute(name, static_cast<double>(value)) {}

  std::string name;
  std::string value;
};

using Attributes = std::initializer_list<Attribute>;

// A coordinate or length as it is written into the document: printf's "%.2f" of the value
// (0 for a value that is not finite) without trailing zeros, and "0" for "-0".
std::string printf_number(double value);
// The very same text, formed from the value's bits with integer arithmetic (svg_number.cpp):
// what every number of the document is written with, as it takes much of a picture's time
// where printf rounds in software (WebAssembly's C library works in 128-bit long double).
std::string number(double value);

// Text with the five XML special characters replaced by their entities. Bytes that are no
// UTF-8 character, and characters an XML document cannot hold (controls other than tab and
// line breaks, U+FFFE, U+FFFF), become U+FFFD, so user text cannot break the document.
std::string escape(std::string_view text);

// The length in bytes of the UTF-8 character at text[i] (1 to 4), or 0 where no valid one
// starts (a stray continuation byte, an overlong form, a surrogate, beyond U+10FFFF, cut off
// at the end) or where it is U+FFFE or U+FFFF.
std::size_t utf8_length(std::string_view text, std::size_t i);

// A plain SVG 1.1 document built element by element. Every element is closed by the writer:
// containers (g, defs, clipPath) by end (or by finish, for any left open), the rest at once.
class Document {
 public:
  Document(double width, double height, std::string_view title, std::string_view font_family);

  // A container element, open until the matching end.
  void begin(std::string_view tag, Attributes attributes);
  void end();
  // An element without content, e.g. line, rect, polygon.
  void add(std::string_view tag, Attributes attributes);
  // A text element holding `content` (escaped here).
  void add_text(std::string_view content, Attributes attributes);

  // The whole document; the writer is spent afterwards.
  std::string finish();

 private:
  void open_tag(std::string_view tag, Attributes attributes);

  std::string text_;
  std::vector<std::string> open_;
};

}  // namespace oskev::analysis::svg
