#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "analysis/plot.hpp"
#include "analysis/plot_axes.hpp"
#include "analysis/svg_writer.hpp"

namespace oskev::analysis {
namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

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

void collect(const Element& e, const std::string& cls, std::vector<const Element*>& out) {
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

double number(const Element& e, const std::string& name) {
  const std::string value = e.attribute(name);
  char* stop = nullptr;
  const double x = std::strtod(value.c_str(), &stop);
  if (value.empty() || *stop != '\0' || !std::isfinite(x)) throw std::runtime_error(name + "=\"" + value + "\"");
  return x;
}

// Every geometric attribute reads as a finite number ("nan" or "inf" would not).
void expect_finite_geometry(const Element& e) {
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
double x_from_ticks(const Picture& p, const std::string& axis, double value, bool log) {
  const auto labels = p.all(axis + "-tick-label");
  if (labels.size() < 2) throw std::runtime_error("fewer than two tick labels on " + axis);
  const Element& a = *labels.front();
  const Element& b = *labels.back();
  auto t = [&](double v) { return log ? std::log(v) : v; };
  const double va = t(std::stod(a.text)), vb = t(std::stod(b.text));
  return number(a, "x") + (t(value) - va) / (vb - va) * (number(b, "x") - number(a, "x"));
}

PlotData ordinary_data() {
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

TEST(PlotDocument, OrdinaryRunIsWellFormedAndComplete) {
  const Picture p(ordinary_data());
  EXPECT_EQ(p.root.tag, "svg");
  EXPECT_EQ(p.root.attribute("xmlns"), "http://www.w3.org/2000/svg");
  expect_finite_geometry(p.root);
  EXPECT_EQ(p.all("study-marker").size(), 5u);
  EXPECT_TRUE(p.all("nonfinite").empty());
  EXPECT_EQ(p.one("title").text, "OSKEV: extreme low homogeneity of risk ratios");
  EXPECT_NE(p.one("subtitle").text.find("fixed prevalence of total events; 5 studies; 1,000 simulation runs"),
            std::string::npos);
  std::vector<std::string> values;
  for (const Element* e : p.all("summary-values")) values.push_back(e->text);
  EXPECT_EQ(values, (std::vector<std::string>{"RRMH = 0.6353", "Q = 7.250", "asymptotic P-value = 0.1230",
                                              "left-sided P-value = 0.8150"}));
  EXPECT_EQ(p.one("p-value").text, "left-sided P-value = 0.8150");
  EXPECT_EQ(p.one("caption-undefined").text, "No run has an undefined Q.");
  // No script, no external reference: the picture stands alone.
  EXPECT_EQ(p.text.find("<script"), std::string::npos);
  EXPECT_EQ(p.text.find("href"), std::string::npos);
  PlotData v10 = ordinary_data();
  v10.variant = Variant::kOskevV10;
  v10.iopt = 2;
  const Picture q(v10);
  EXPECT_EQ(q.one("title").text, "OSKEV v1.0: extreme low homogeneity of risk ratios");
  EXPECT_NE(q.one("subtitle").text.find("random prevalence"), std::string::npos);
}

TEST(PlotDocument, ForestPositionsFollowTheLogAxis) {
  const PlotData d = ordinary_data();
  const Picture p(d);
  const auto markers = p.all("study-marker");
  ASSERT_EQ(markers.size(), d.studies.size());
  for (std::size_t i = 0; i < markers.size(); ++i) {
    const double centre = number(*markers[i], "x") + number(*markers[i], "width") / 2.0;
    EXPECT_NEAR(centre, x_from_ticks(p, "rr", d.studies[i].rr, true), 0.02) << "study " << i + 1;
  }
  const Element& line = p.one("summary-line");
  EXPECT_NEAR(number(line, "x1"), x_from_ticks(p, "rr", d.rrmh, true), 0.02);
  EXPECT_EQ(p.one("summary-label").text, "RRMH 0.6353");
  // Marker area in proportion to the weight: 242 is the largest (16 pixels a side).
  EXPECT_DOUBLE_EQ(number(*markers[3], "width"), 16.0);
  EXPECT_NEAR(number(*markers[2], "width"), 16.0 * std::sqrt(48.0 / 242.0), 0.01);
  EXPECT_DOUBLE_EQ(number(*markers[0], "width"), 3.0);  // the smallest still visible
  EXPECT_EQ(p.all("study-estimate")[1]->text, "0.205 [0.0863, 0.486]");
  EXPECT_EQ(p.all("study-weight")[3]->text, "64.5%");
}

TEST(PlotDocument, ObservedQMarkedOnTheHistogramAxis) {
  const Picture p(ordinary_data());
  EXPECT_NEAR(number(p.one("observed-q"), "x1"), x_from_ticks(p, "q", 7.25, false), 0.02);
  EXPECT_EQ(p.one("observed-q-label").text, "observed Q = 7.250");
  EXPECT_TRUE(p.all("observed-q-arrow").empty());
  // 1000 values from 0 to 19.98: 20 bins of width 1 from 0, 50 values each.
  const auto bins = p.all("q-bin");
  ASSERT_EQ(bins.size(), 20u);
  EXPECT_NEAR(number(*bins[0], "x"), x_from_ticks(p, "q", 0.0, false), 0.02);
  EXPECT_NEAR(number(*bins[19], "x") + number(*bins[19], "width"), x_from_ticks(p, "q", 20.0, false), 0.02);
  EXPECT_EQ(p.one("caption").text,
            "Histogram of 1,000 simulated Q values in 20 bins of width 1; dark: at or below the observed Q.");
}

TEST(PlotDocument, ObservedQOffTheSimulatedRangeGetsAnArrowAtThatEdge) {
  PlotData d = ordinary_data();
  d.q = 152.6f;
  const Picture right(d);
  EXPECT_TRUE(right.all("observed-q").empty());
  const Element& axis = right.one("q-axis");
  const std::string tip = right.one("observed-q-arrow").attribute("points");
  EXPECT_EQ(std::stod(tip.substr(0, tip.find(','))), number(axis, "x2"));
  EXPECT_EQ(right.one("observed-q-label").text, "observed Q = 152.6, beyond the axis");
  EXPECT_EQ(right.one("p-value").text, "left-sided P-value = 0.8150");

  for (float& q : d.qsim) q += 100.0f;  // 100 to 119.98: the axis no longer starts at 0
  d.q = 1.5f;
  const Picture left(d);
  const std::string left_tip = left.one("observed-q-arrow").attribute("points");
  EXPECT_EQ(std::stod(left_tip.substr(0, left_tip.find(','))), number(left.one("q-axis"), "x1"));
  EXPECT_EQ(left.one("observed-q-label").text, "observed Q = 1.500, below the axis");
  // Within half the simulated range the axis takes the observed Q in instead.
  d.q = 92.0f;
  const Picture near(d);
  EXPECT_NEAR(number(near.one("observed-q"), "x1"), x_from_ticks(near, "q", 92.0, false), 0.02);
}

TEST(PlotDocument, ValuesThatAreNotFiniteAreWrittenNotPlotted) {
  PlotData d = ordinary_data();
  d.studies.push_back({6, kNaN, kNaN, kNaN, kNaN});
  d.studies.push_back({7, kInf, 1.0f, kInf, 2.0f});
  d.studies.push_back({8, 0.0f, 0.0f, 0.5f, 1.0f});
  d.studies.push_back({9, 1.5f, 0.0f, kInf, -4.0f});   // plotted: its limits run off both edges
  d.studies.push_back({10, 2.0f, kNaN, 3.0f, 0.0f});   // plotted: only the upper side
  d.rrmh = kNaN;
  d.q = kNaN;
  d.pasym = std::nan("");
  d.pemp = kInf;
  d.qsim[3] = kNaN;
  d.qsim[4] = kNaN;
  d.qsim[5] = kInf;
  d.qsim[6] = -kInf;
  const Picture p(d);
  expect_finite_geometry(p.root);
  EXPECT_EQ(p.all("study-marker").size(), 7u);
  std::vector<std::string> shown;
  for (const Element* e : p.all("nonfinite")) shown.push_back(e->text);
  EXPECT_EQ(shown, (std::vector<std::string>{"RR NaN: not plotted", "RR Infinity: not plotted",
                                             "RR 0: not on a log axis"}));
  EXPECT_EQ(p.all("limit-arrow").size(), 2u);
  EXPECT_EQ(p.all("study-estimate")[8]->text, "1.50 [0, Infinity]");
  EXPECT_EQ(p.all("study-weight")[8]->text, "-4.00");
  EXPECT_EQ(p.all("study-marker")[5]->attribute("fill"), "#ffffff");  // a weight that cannot size it
  EXPECT_TRUE(p.all("summary-line").empty());
  EXPECT_EQ(p.one("summary-missing").text, "RRMH NaN: no summary line");
  EXPECT_TRUE(p.all("observed-q").empty());
  EXPECT_TRUE(p.all("observed-q-arrow").empty());
  EXPECT_EQ(p.one("observed-q-label").text, "observed Q = NaN (not marked)");
  EXPECT_EQ(p.one("p-value").text, "left-sided P-value = Infinity");
  EXPECT_EQ(p.one("caption-undefined").text,
            "2 runs with an undefined Q left out. 2 runs with an infinite Q not drawn.");
}

TEST(PlotDocument, NoDrawableSimulatedQ) {
  PlotData d = ordinary_data();
  d.nruns = 3;
  d.qsim = {kNaN, kNaN, kNaN};
  const Picture p(d);
  expect_finite_geometry(p.root);
  EXPECT_TRUE(p.all("q-bin").empty());
  EXPECT_EQ(p.one("no-histogram").text, "no simulated Q to show");
  EXPECT_EQ(p.one("caption-undefined").text, "3 runs with an undefined Q left out.");
  EXPECT_EQ(p.one("p-value").text, "left-sided P-value = 0.8150");

  const Picture empty{PlotData{}};  // no studies and no runs at all
  expect_finite_geometry(empty.root);
  EXPECT_TRUE(empty.all("study-marker").empty());
}

TEST(PlotDocument, LargestRunStaysBounded) {
  PlotData d = ordinary_data();
  d.studies.clear();
  for (int i = 0; i < 100; ++i) {
    const float rr = 0.5f + 0.01f * static_cast<float>(i);
    d.studies.push_back({i + 1, rr, rr * 0.7f, rr / 0.7f, 10.0f + static_cast<float>(i)});
  }
  d.nruns = 80000;
  d.qsim.clear();
  for (int k = 0; k < 80000; ++k) d.qsim.push_back(k % 1000 == 0 ? 1e30f : static_cast<float>(k % 331) / 7.0f);
  const Picture p(d);
  EXPECT_EQ(p.all("study-marker").size(), 100u);
  EXPECT_LE(p.all("q-bin").size(), 52u);
  EXPECT_LT(p.text.size(), 150000u);
  expect_finite_geometry(p.root);
}

// ---- Axes, bins and texts

TEST(PlotAxes, LogTicksReadWell) {
  using plot_axes::log_axis;
  const auto bcg = log_axis(0.0734, 6.53);
  EXPECT_EQ(bcg.ticks, (std::vector<double>{0.05, 0.1, 0.2, 0.5, 1, 2, 5, 10}));
  EXPECT_EQ(log_axis(0.2, 5).ticks, (std::vector<double>{0.2, 0.5, 1, 2, 5}));
  EXPECT_EQ(log_axis(0.408, 1.38).ticks, (std::vector<double>{0.3, 0.5, 0.7, 1, 1.5}));
  EXPECT_EQ(log_axis(1e-10, 1e10).ticks, (std::vector<double>{1e-10, 1e-5, 1, 1e5, 1e10}));
  // Up to threefold: even steps, which still pass through 1.
  EXPECT_EQ(log_axis(0.95, 1.05).ticks, (std::vector<double>{0.94, 0.96, 0.98, 1, 1.02, 1.04, 1.06}));
  const auto same = log_axis(1.0, 1.0);  // widened to a tenth around the value
  EXPECT_LT(same.lo, 1.0);
  EXPECT_GT(same.hi, 1.0);
  const auto bad = log_axis(std::nan(""), 0.0);
  EXPECT_GT(bad.lo, 0.0);
  EXPECT_GE(bad.ticks.size(), 3u);
}

TEST(PlotAxes, LogAxisCoversItsRangeWithFewTicksAndOne) {
  for (double lo = 1e-40; lo < 1e30; lo *= 7.3) {
    for (double ratio : {1.0, 1.05, 1.3, 2.9, 3.1, 9.0, 40.0, 1e3, 1e8, 1e40}) {
      const double hi = lo * ratio;
      const auto a = plot_axes::log_axis(lo, hi);
      ASSERT_GE(a.ticks.size(), 2u) << lo << " " << hi;
      EXPECT_LE(a.ticks.size(), 13u) << lo << " " << hi;
      EXPECT_GT(a.lo, 0.0);
      EXPECT_LE(a.lo, lo * (1 + 1e-9));
      EXPECT_GE(a.hi, hi * (1 - 1e-9));
      EXPECT_EQ(a.ticks.front(), a.lo);
      EXPECT_EQ(a.ticks.back(), a.hi);
      EXPECT_TRUE(std::is_sorted(a.ticks.begin(), a.ticks.end()));
      if (a.lo <= 1.0 && a.hi >= 1.0) {
        EXPECT_NE(std::find(a.ticks.begin(), a.ticks.end(), 1.0), a.ticks.end()) << lo << " " << hi;
      }
    }
  }
}

TEST(PlotAxes, LinearTicksAndSteps) {
  EXPECT_EQ(plot_axes::nice_step(0.3), 0.5);
  EXPECT_EQ(plot_axes::nice_step(1.0), 1.0);
  EXPECT_EQ(plot_axes::nice_step(1.01), 2.0);
  EXPECT_EQ(plot_axes::nice_step(7.0), 10.0);
  EXPECT_EQ(plot_axes::nice_step(0.0), 1.0);
  EXPECT_EQ(plot_axes::nice_step(std::nan("")), 1.0);
  EXPECT_EQ(plot_axes::linear_axis(0, 1043, 5).ticks, (std::vector<double>{0, 500, 1000, 1500}));
  EXPECT_EQ(plot_axes::linear_axis(0, 1, 1).ticks, (std::vector<double>{0, 1}));  // a single run per bin
  EXPECT_EQ(plot_axes::linear_ticks_within(0, 39, 8).ticks, (std::vector<double>{0, 5, 10, 15, 20, 25, 30, 35}));
}

TEST(PlotAxes, HistogramBins) {
  const auto h = plot_axes::make_histogram({0.0f, 0.5f, 1.0f, 1.5f, 2.0f, kNaN, kInf}, 0.0, 2.0, 4);
  EXPECT_EQ(h.start, 0.0);
  EXPECT_EQ(h.width, 0.5);
  EXPECT_EQ(h.counts, (std::vector<std::int64_t>{1, 1, 1, 2}));  // edges go up, the top end stays
  const auto tenths = plot_axes::make_histogram({0.6f, 0.8f, 1.0f}, 0.6, 1.0, 2);
  EXPECT_DOUBLE_EQ(tenths.start, 0.6);
  EXPECT_EQ(tenths.counts, (std::vector<std::int64_t>{1, 2}));
  const auto flat = plot_axes::make_histogram(std::vector<float>(50, 5.0f), 5.0, 5.0, 7);
  EXPECT_LT(flat.start, 5.0);
  EXPECT_GT(flat.end(), 5.0);
  const auto wide = plot_axes::make_histogram({-3e38f, 3e38f}, -3e38, 3e38, 50);
  EXPECT_LE(wide.counts.size(), 52u);
  EXPECT_EQ(wide.counts.front() + wide.counts.back(), 2);
  EXPECT_EQ(plot_axes::histogram_bin_target(0), 5);
  EXPECT_EQ(plot_axes::histogram_bin_target(1000), 20);
  EXPECT_EQ(plot_axes::histogram_bin_target(10000), 43);
  EXPECT_EQ(plot_axes::histogram_bin_target(80000), 50);
}

TEST(PlotAxes, Texts) {
  using plot_axes::format_value;
  EXPECT_EQ(format_value(0.068, 3), "0.0680");
  EXPECT_EQ(format_value(152.6, 4), "152.6");
  EXPECT_EQ(format_value(9.99996, 4), "10.00");
  EXPECT_EQ(format_value(1.2345e-25, 3), "1.23e-25");
  EXPECT_EQ(format_value(1234567.0, 3), "1.23e6");
  EXPECT_EQ(format_value(-0.5, 2), "-0.50");
  EXPECT_EQ(format_value(0.0, 3), "0");
  EXPECT_EQ(format_value(std::nan(""), 3), "NaN");
  EXPECT_EQ(format_value(-HUGE_VAL, 3), "-Infinity");
  EXPECT_EQ(plot_axes::format_p_value(0.0375), "0.0375");
  EXPECT_EQ(plot_axes::format_p_value(1.0), "1.0000");
  EXPECT_EQ(plot_axes::format_p_value(0.0), "0");
  EXPECT_EQ(plot_axes::format_p_value(1.2345e-7), "1.23e-7");
  EXPECT_EQ(plot_axes::format_tick(0.2), "0.2");
  EXPECT_EQ(plot_axes::format_tick(1e-5), "1e-5");
  EXPECT_EQ(plot_axes::format_tick(1e20), "1e20");
  EXPECT_EQ(plot_axes::format_tick(1500), "1500");
  EXPECT_EQ(plot_axes::format_count(80000), "80,000");
  EXPECT_EQ(plot_axes::format_count(999), "999");
  EXPECT_EQ(plot_axes::format_count(-1234567), "-1,234,567");
  EXPECT_EQ(svg::number(12.5), "12.5");
  EXPECT_EQ(svg::number(1234.567), "1234.57");
  EXPECT_EQ(svg::number(-0.001), "0");
  EXPECT_EQ(svg::number(std::nan("")), "0");
  EXPECT_EQ(svg::number(HUGE_VAL), "0");
  EXPECT_EQ(svg::escape("a<b & \"c\" 'd' >"), "a&lt;b &amp; &quot;c&quot; &apos;d&apos; &gt;");
}

TEST(PlotXmlReader, RejectsMalformedDocuments) {
  for (const char* bad : {"<a><b></a></b>", "<a x=1/>", "<a x=\"1\" x=\"2\"/>", "<a>1 < 2</a>", "<a>&nbsp;</a>",
                          "<a/><b/>", "<a>", "<a x=\"<\"/>"}) {
    EXPECT_THROW(XmlReader(bad).document(), std::runtime_error) << bad;
  }
  EXPECT_EQ(XmlReader("<a t='x'>1 &lt; 2&#33;</a>").document().text, "1 < 2!");
}

}  // namespace
}  // namespace oskev::analysis
