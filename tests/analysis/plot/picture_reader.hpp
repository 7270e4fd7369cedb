#pragma once

// Reading the picture back in tests: a strict XML reader, the picture's elements by class,
// numbers of attributes and positions on its axes, and an ordinary run to draw.

#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "analysis/plot/plot.hpp"

namespace oskev::analysis::picture_testing {

inline constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
inline constexpr float kInf = std::numeric_limits<float>::infinity();

// ---- A strict reader for the XML the picture is written in: one root element, matching
// tags, double- or single-quoted attributes without duplicates, no raw '<' in text or values,
// and only the five named entities or character references after '&'. Any fault throws.

struct Element {
  std::string tag;
  std::map<std::string, std::string> attributes;
  std::string text;
  std::vector<Element> children;

  std::string attribute(const std::string& name) const {
    auto it = attributes.find(name);
    return it == attributes.end() ? "" : it->second;
  }
};

class XmlReader {
 public:
  explicit XmlReader(const std::string& text) : s_(text) {}

  Element document() {
    if (s_.compare(0, 5, "<?xml") == 0) {
      const std::size_t end = s_.find("?>");
      if (end == std::string::npos) fail("unterminated declaration");
      i_ = end + 2;
    }
    skip_blanks();
    Element root = element();
    skip_blanks();
    if (i_ != s_.size()) fail("content after the root element");
    return root;
  }

 private:
  [[noreturn]] void fail(const std::string& why) const {
    throw std::runtime_error(why + " at offset " + std::to_string(i_));
  }
  bool at_end() const { return i_ >= s_.size(); }
  char peek() const { return at_end() ? '\0' : s_[i_]; }
  void expect(char c) {
    if (peek() != c) fail(std::string("expected '") + c + "'");
    ++i_;
  }
  void skip_blanks() {
    while (!at_end() && std::isspace(static_cast<unsigned char>(s_[i_]))) ++i_;
  }
  static bool name_char(char c, bool first) {
    return std::isalpha(static_cast<unsigned char>(c)) || c == '_' || c == ':' ||
           (!first && (std::isdigit(static_cast<unsigned char>(c)) || c == '-' || c == '.'));
  }
  std::string name() {
    const std::size_t start = i_;
    if (!name_char(peek(), true)) fail("expected a name");
    while (!at_end() && name_char(s_[i_], false)) ++i_;
    return s_.substr(start, i_ - start);
  }
  std::string reference() {
    const std::size_t end = s_.find(';', i_);
    if (end == std::string::npos || end - i_ > 10) fail("bad entity");
    const std::string ref = s_.substr(i_ + 1, end - i_ - 1);
    i_ = end + 1;
    static const std::map<std::string, std::string> kNamed = {
        {"amp", "&"}, {"lt", "<"}, {"gt", ">"}, {"quot", "\""}, {"apos", "'"}};
    if (auto it = kNamed.find(ref); it != kNamed.end()) return it->second;
    if (ref.size() > 1 && ref[0] == '#') {
      char* stop = nullptr;
      const bool hex = ref[1] == 'x';
      const long code = std::strtol(ref.c_str() + (hex ? 2 : 1), &stop, hex ? 16 : 10);
      if (*stop == '\0' && code > 0 && code < 128) return std::string(1, static_cast<char>(code));
    }
    fail("unknown entity &" + ref + ";");
  }
  Element element() {
    expect('<');
    Element e;
    e.tag = name();
    while (true) {
      const std::size_t before = i_;
      skip_blanks();
      if (peek() == '/' || peek() == '>') break;
      if (i_ == before) fail("attributes must be separated by blanks");
      const std::string key = name();
      skip_blanks();
      expect('=');
      skip_blanks();
      const char quote = peek();
      if (quote != '"' && quote != '\'') fail("unquoted attribute value");
      ++i_;
      std::string value;
      while (peek() != quote) {
        if (at_end() || peek() == '<') fail("bad attribute value");
        value += peek() == '&' ? reference() : std::string(1, s_[i_++]);
      }
      ++i_;
      if (!e.attributes.emplace(key, value).second) fail("duplicate attribute " + key);
    }
    if (peek() == '/') {
      ++i_;
      expect('>');
      return e;
    }
    expect('>');
    while (true) {
      if (at_end()) fail("unclosed <" + e.tag + ">");
      if (s_.compare(i_, 2, "</") == 0) {
        i_ += 2;
        if (name() != e.tag) fail("mismatched end tag of <" + e.tag + ">");
        skip_blanks();
        expect('>');
        return e;
      }
      if (peek() == '<') {
        e.children.push_back(element());
      } else if (peek() == '&') {
        e.text += reference();
      } else {
        if (peek() == '>') fail("raw '>' in text");
        e.text += s_[i_++];
      }
    }
  }

  const std::string& s_;
  std::size_t i_ = 0;
};

inline void collect(const Element& e, const std::string& cls, std::vector<const Element*>& out) {
  if (e.attribute("class") == cls) out.push_back(&e);
  for (const Element& child : e.children) collect(child, cls, out);
}

// A parsed picture and the elements of a class.
struct Picture {
  std::string text;
  Element root;

  explicit Picture(const PlotData& data) : text(render_plot(data)), root(XmlReader(text).document()) {}
  std::vector<const Element*> all(const std::string& cls) const {
    std::vector<const Element*> out;
    collect(root, cls, out);
    return out;
  }
  const Element& one(const std::string& cls) const {
    const auto found = all(cls);
    if (found.size() != 1) throw std::runtime_error(std::to_string(found.size()) + " elements of class " + cls);
    return *found.front();
  }
};

inline double number(const Element& e, const std::string& name) {
  const std::string value = e.attribute(name);
  char* stop = nullptr;
  const double x = std::strtod(value.c_str(), &stop);
  if (value.empty() || *stop != '\0' || !std::isfinite(x)) throw std::runtime_error(name + "=\"" + value + "\"");
  return x;
}

// Every geometric attribute reads as a finite number ("nan" or "inf" would not).
inline void expect_finite_geometry(const Element& e) {
  for (const char* name : {"x", "y", "x1", "y1", "x2", "y2", "width", "height", "font-size", "stroke-width"}) {
    if (e.attributes.count(name)) {
      EXPECT_NO_THROW(number(e, name)) << "<" << e.tag << "> " << name;
    }
  }
  for (const char* name : {"points", "viewBox", "transform"}) {
    for (char c : e.attribute(name)) {
      EXPECT_TRUE(std::isdigit(static_cast<unsigned char>(c)) || std::strchr(" ,.-()rotate", c)) << e.attribute(name);
    }
  }
  for (const Element& child : e.children) expect_finite_geometry(child);
}

// The x of a value on an axis, from the positions and labels of two of its ticks.
inline double x_from_ticks(const Picture& p, const std::string& axis, double value, bool log) {
  const auto labels = p.all(axis + "-tick-label");
  if (labels.size() < 2) throw std::runtime_error("fewer than two tick labels on " + axis);
  const Element& a = *labels.front();
  const Element& b = *labels.back();
  auto t = [&](double v) { return log ? std::log(v) : v; };
  const double va = t(std::stod(a.text)), vb = t(std::stod(b.text));
  return number(a, "x") + (t(value) - va) / (vb - va) * (number(b, "x") - number(a, "x"));
}

inline PlotData ordinary_data() {
  PlotData d;
  d.iopt = 1;
  d.studies = {{1, 0.411f, 0.134f, 1.26f, 3.0f}, {2, 0.205f, 0.0863f, 0.486f, 5.0f}, {3, 0.237f, 0.179f, 0.312f, 48.0f},
               {4, 1.01f, 0.895f, 1.14f, 242.0f}, {5, 0.712f, 0.573f, 0.886f, 77.0f}};
  d.rrmh = 0.6353f;
  d.q = 7.25f;
  d.pasym = 0.123;
  d.pemp = 0.815f;
  d.nruns = 1000;
  for (int k = 0; k < 1000; ++k) d.qsim.push_back(static_cast<float>((k * 37) % 1000) / 50.0f);  // 0 to 19.98
  return d;
}

}  // namespace oskev::analysis::picture_testing
