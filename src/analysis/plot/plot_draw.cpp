#include "analysis/plot/plot_draw.hpp"

#include <algorithm>
#include <cmath>

namespace oskev::analysis::plot_draw {

using svg::utf8_length;

namespace {

double advance(char c) {
  if (c == ' ' || c == '.' || c == ',' || c == ':' || c == ';') return 0.32;
  if (c >= '0' && c <= '9') return 0.64;
  if (c == 'i' || c == 'l' || c == 'j' || c == 'I' || c == '\'') return 0.3;
  if (c == 'm' || c == 'w' || c == 'M' || c == 'W' || c == '%') return 0.98;
  if (c >= 'A' && c <= 'Z') return 0.76;
  if (c == '=' || c == '+' || c == '<' || c == '>') return 0.84;
  if (c == '(' || c == ')' || c == '[' || c == ']' || c == '-' || c == 'f' || c == 't' || c == 'r') return 0.42;
  return 0.62;
}

// Accented Latin, Greek and Cyrillic letters (two bytes) are about as wide as capitals; the
// scripts of three and four bytes (CJK, symbols) take up to a full em.
double advance_of_sequence(std::size_t bytes) {
  return bytes == 2 ? 0.78 : 1.0;
}

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD
constexpr std::string_view kEllipsis = "\xE2\x80\xA6";     // U+2026

// The text as whole characters, each fit for an XML document.
std::vector<std::string> characters(std::string_view text) {
  std::vector<std::string> out;
  std::size_t i = 0;
  while (i < text.size()) {
    const std::size_t n = utf8_length(text, i);
    if (n == 0) {
      out.emplace_back(kReplacement);
      ++i;
      continue;
    }
    const char c = text[i];
    if (n == 1 && (c == '\t' || c == '\n' || c == '\r')) {
      out.emplace_back(" ");
    } else if (n == 1 && static_cast<unsigned char>(c) < 0x20) {
      out.emplace_back(kReplacement);
    } else {
      out.emplace_back(text.substr(i, n));
    }
    i += n;
  }
  return out;
}

double character_width(const std::string& c) {
  return c.size() == 1 ? advance(c[0]) : advance_of_sequence(c.size());
}

}  // namespace

double text_width(std::string_view text, double font_size, bool bold) {
  double ems = 0.0;
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t n = utf8_length(text, i);
    if (n <= 1) {
      ems += advance(text[i]);  // a byte that is no character is drawn as U+FFFD, about as wide
      ++i;
    } else {
      ems += advance_of_sequence(n);
      i += n;
    }
  }
  return ems * font_size * (bold ? 1.1 : 1.0);
}

std::string fit_text(std::string_view text, double max_width, double font_size, bool bold) {
  const std::vector<std::string> chars = characters(text);
  const double scale = font_size * (bold ? 1.1 : 1.0);
  double total = 0.0;
  for (const std::string& c : chars) total += character_width(c) * scale;
  std::string out;
  if (total <= max_width) {
    for (const std::string& c : chars) out += c;
    return out;
  }
  const double room = max_width - advance_of_sequence(3) * scale;  // the ellipsis
  double used = 0.0;
  for (const std::string& c : chars) {
    const double w = character_width(c) * scale;
    if (used + w > room) break;
    out += c;
    used += w;
  }
  while (!out.empty() && out.back() == ' ') out.pop_back();  // "Smith and …" reads as cut
  out += kEllipsis;
  return out;
}

Scale::Scale(const plot_axes::Axis& axis, double left, double right, double inset, bool logarithmic)
    : x0(left + inset), x1(right - inset), log(logarithmic) {
  v0 = log ? std::log(axis.lo) : axis.lo;
  v1 = log ? std::log(axis.hi) : axis.hi;
  if (!(v1 > v0) || !std::isfinite(v1 - v0)) v1 = v0 + 1.0;  // never a division by zero
}

double Scale::operator()(double value) const {
  const double t = log ? std::log(value) : value;
  return x0 + (t - v0) / (v1 - v0) * (x1 - x0);
}

namespace {

// Which tick labels to write: `first` (the tick at 1 on the risk-ratio axis) and the two ends
// go first, then the others from left to right; a label that would touch one already placed
// is left out (its tick mark stays).
std::vector<bool> readable_labels(const std::vector<double>& xs, const std::vector<std::string>& labels,
                                  std::size_t first) {
  const std::size_t n = xs.size();
  std::vector<std::size_t> order;
  if (first < n) order.push_back(first);
  if (n > 0) order.push_back(0);
  if (n > 1) order.push_back(n - 1);
  for (std::size_t i = 1; i + 1 < n; ++i) order.push_back(i);
  std::vector<bool> shown(n, false);
  for (std::size_t i : order) {
    if (shown[i]) continue;
    bool clear = true;
    for (std::size_t j = 0; j < n && clear; ++j) {
      const double room = (text_width(labels[i], kTickFont) + text_width(labels[j], kTickFont)) / 2.0 + 6.0;
      if (shown[j] && std::fabs(xs[i] - xs[j]) < room) clear = false;
    }
    shown[i] = clear;
  }
  return shown;
}

}  // namespace

void draw_x_axis(svg::Document& doc, const std::string& name, const plot_axes::Axis& axis, const Scale& scale,
                 double left, double right, double y) {
  doc.add("line", {{"class", name + "-axis"}, {"x1", left}, {"y1", y}, {"x2", right}, {"y2", y}, {"stroke", kInk}});
  std::vector<double> xs;
  std::vector<std::string> labels;
  std::size_t at_one = axis.ticks.size();
  for (double tick : axis.ticks) {
    if (tick == 1.0 && scale.log) at_one = xs.size();
    xs.push_back(scale(tick));
    labels.push_back(plot_axes::format_tick(tick));
  }
  const std::vector<bool> shown = readable_labels(xs, labels, at_one);
  for (std::size_t i = 0; i < xs.size(); ++i) {
    doc.add("line", {{"class", name + "-tick"}, {"x1", xs[i]}, {"y1", y}, {"x2", xs[i]}, {"y2", y + 5.0},
                     {"stroke", kInk}});
    if (shown[i]) {
      doc.add_text(labels[i], {{"class", name + "-tick-label"}, {"x", xs[i]}, {"y", y + 18.0},
                               {"font-size", kTickFont}, {"text-anchor", "middle"}, {"fill", kInk}});
    }
  }
}

void draw_text(svg::Document& doc, const std::string& text, double x, double y, double size, const char* anchor,
               const char* cls, const char* fill, const char* weight) {
  doc.add_text(text, {{"class", cls}, {"x", x}, {"y", y}, {"font-size", size}, {"text-anchor", anchor},
                      {"fill", fill}, {"font-weight", weight}});
}

void draw_arrow_head(svg::Document& doc, double x, double y, double direction, double size, const char* fill,
                     const char* cls) {
  const double back = x - direction * size;
  const std::string points = svg::number(x) + "," + svg::number(y) + " " + svg::number(back) + "," +
                             svg::number(y - size * 0.6) + " " + svg::number(back) + "," + svg::number(y + size * 0.6);
  doc.add("polygon", {{"class", cls}, {"points", points}, {"fill", fill}});
}

std::string runs_text(std::int64_t count) {
  return plot_axes::format_count(count) + (count == 1 ? " run" : " runs");
}

std::string points_text(const std::vector<double>& xs, const std::vector<double>& ys) {
  std::string out;
  for (std::size_t i = 0; i < xs.size() && i < ys.size(); ++i) {
    if (i > 0) out += ' ';
    out += svg::number(xs[i]) + "," + svg::number(ys[i]);
  }
  return out;
}

}  // namespace oskev::analysis::plot_draw
