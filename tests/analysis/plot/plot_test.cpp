#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <map>
#include <stdexcept>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "analysis/plot/plot.hpp"
#include "analysis/plot/plot_axes.hpp"
#include "analysis/plot/q_distribution.hpp"
#include "analysis/plot/svg_writer.hpp"

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
  v10.program = "OSKEV v1.0";
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

// ---- The optional elements of the picture for meta-analyses outside the dialogue

// FNV-1a of a document: the dialogue's pictures below were recorded before the optional
// elements existed, and must not change by a byte.
std::uint64_t fingerprint(const std::string& text) {
  std::uint64_t h = 0xcbf29ce484222325ull;
  for (char c : text) h = (h ^ static_cast<unsigned char>(c)) * 0x100000001b3ull;
  return h;
}

PlotData eighty_thousand_runs() {
  PlotData d = ordinary_data();
  d.nruns = 80000;
  d.qsim.clear();
  for (int k = 0; k < 80000; ++k) d.qsim.push_back(k % 1000 == 0 ? 1e30f : static_cast<float>(k % 331) / 7.0f);
  return d;
}

TEST(PlotUnchanged, DialoguePicturesAreByteForByteAsRecorded) {
  const std::string ordinary = render_plot(ordinary_data());
  EXPECT_EQ(ordinary.size(), 15941u);
  EXPECT_EQ(fingerprint(ordinary), 0x2c112dd87fc6a5c2ull);
  PlotData beyond = ordinary_data();
  beyond.q = 152.6f;
  EXPECT_EQ(fingerprint(render_plot(beyond)), 0x2a2ef9ba31aa8d66ull);
  PlotData none = ordinary_data();
  none.nruns = 3;
  none.qsim = {kNaN, kNaN, kNaN};
  EXPECT_EQ(fingerprint(render_plot(none)), 0x80c37f815a460497ull);
  const std::string big = render_plot(eighty_thousand_runs());
  EXPECT_EQ(big.size(), 11624u);
  EXPECT_EQ(fingerprint(big), 0x530ab784ffe9143aull);
}

TEST(PlotUnchanged, ADistributionOfTheSameRunsDrawsTheSamePicture) {
  for (const PlotData& listed : {ordinary_data(), eighty_thousand_runs()}) {
    PlotData fed = listed;
    QDistribution q(listed.q);
    const std::span<const float> all(listed.qsim);
    for (std::size_t at = 0; at < all.size(); at += 777) q.add(all.subspan(at, std::min<std::size_t>(777, all.size() - at)));
    fed.distribution = q;
    fed.qsim.clear();
    EXPECT_EQ(render_plot(fed), render_plot(listed));
  }
}

PlotData labelled_data() {
  PlotData d = ordinary_data();
  d.labels = {"Aronson <1948> & \"Co\"", "Frimodt-M\xC3\xB8ller, 1973",
              "Tuberculosis Prevention Trial, Chingleput, Madras, South India (1968-1980)", "", "bad \xFF\x01 byte"};
  return d;
}

TEST(PlotLabels, LabelsAreEscapedCutAndShownInPlaceOfNumbers) {
  const Picture p(labelled_data());
  expect_finite_geometry(p.root);
  EXPECT_TRUE(p.all("study-number").empty());
  std::vector<std::string> shown;
  for (const Element* e : p.all("study-label")) shown.push_back(e->text);
  ASSERT_EQ(shown.size(), 5u);
  EXPECT_EQ(shown[0], "Aronson <1948> & \"Co\"");
  EXPECT_NE(p.text.find(">Aronson &lt;1948&gt; &amp; &quot;Co&quot;</text>"), std::string::npos);
  EXPECT_EQ(shown[1], "Frimodt-M\xC3\xB8ller, 1973");
  // Cut at a character boundary, ending in an ellipsis, within the column.
  EXPECT_EQ(shown[2].rfind("\xE2\x80\xA6"), shown[2].size() - 3);
  EXPECT_EQ(shown[2].rfind("Tuberculosis Prevention", 0), 0u);
  EXPECT_LT(shown[2].size(), 40u);
  EXPECT_EQ(shown[3], "4");  // an empty label: the study's number
  EXPECT_EQ(shown[4], "bad \xEF\xBF\xBD\xEF\xBF\xBD byte");  // invalid and control bytes replaced
  EXPECT_EQ(p.one("summary-row-label").text, "MH summary");
  // The plot area starts right of the widest label and the markers follow it.
  const double axis_left = number(p.one("rr-axis"), "x1");
  EXPECT_GT(axis_left, 84.0);
  EXPECT_LE(axis_left, 20.0 + 220.0 + 16.0);
  const auto markers = p.all("study-marker");
  for (std::size_t i = 0; i < markers.size(); ++i) {
    const double centre = number(*markers[i], "x") + number(*markers[i], "width") / 2.0;
    EXPECT_NEAR(centre, x_from_ticks(p, "rr", labelled_data().studies[i].rr, true), 0.02);
  }
  // Fewer labels than studies: the rest keep their numbers; the column is as wide as its
  // widest text, here the summary row's.
  PlotData few = ordinary_data();
  few.labels = {"A"};
  const Picture q(few);
  std::vector<std::string> few_shown;
  for (const Element* e : q.all("study-label")) few_shown.push_back(e->text);
  EXPECT_EQ(few_shown, (std::vector<std::string>{"A", "2", "3", "4", "5"}));
  EXPECT_EQ(number(q.one("rr-axis"), "x1"), 127.34);
}

TEST(PlotLabels, TheSvgWriterKeepsUserTextWellFormed) {
  EXPECT_EQ(svg::escape("a\tb\nc"), "a\tb\nc");
  EXPECT_EQ(svg::escape(std::string("x\0y", 3)), "x\xEF\xBF\xBDy");
  EXPECT_EQ(svg::escape("\xC3\xB8 \xE2\x80\xA6 \xF0\x9F\x98\x80"), "\xC3\xB8 \xE2\x80\xA6 \xF0\x9F\x98\x80");
  for (const char* bad : {"\xC0\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xEF\xBF\xBE", "\xE2\x80", "\x80"}) {
    const std::string out = svg::escape(bad);
    EXPECT_EQ(out.find_first_not_of("\xEF\xBF\xBD"), std::string::npos) << out;
  }
}

TEST(PlotSummary, DiamondSpansTheLimitsAroundRrmhBelowTheStudies) {
  PlotData d = ordinary_data();
  EXPECT_TRUE(Picture(d).all("summary-diamond").empty());
  d.summary_limits = std::make_pair(0.5f, 0.8f);
  const Picture p(d);
  const std::string points = p.one("summary-diamond").attribute("points");
  std::vector<double> xs, ys;
  std::size_t at = 0;
  while (at < points.size()) {
    const std::size_t comma = points.find(',', at);
    std::size_t blank = points.find(' ', comma);
    if (blank == std::string::npos) blank = points.size();
    xs.push_back(std::stod(points.substr(at, comma - at)));
    ys.push_back(std::stod(points.substr(comma + 1, blank - comma - 1)));
    at = blank + 1;
  }
  ASSERT_EQ(xs.size(), 4u);
  EXPECT_NEAR(xs[0], x_from_ticks(p, "rr", 0.5, true), 0.02);
  EXPECT_NEAR(xs[1], x_from_ticks(p, "rr", 0.6353, true), 0.02);
  EXPECT_NEAR(xs[2], x_from_ticks(p, "rr", 0.8, true), 0.02);
  EXPECT_EQ(xs[3], xs[1]);
  // In the row below the last study, and the dashed line still runs through all rows.
  const auto markers = p.all("study-marker");
  const double last_row = number(*markers.back(), "y") + number(*markers.back(), "height") / 2.0;
  EXPECT_NEAR(ys[0], last_row + 20.0, 0.01);
  EXPECT_LT(ys[1], ys[0]);
  EXPECT_GT(ys[3], ys[0]);
  EXPECT_NEAR(number(p.one("summary-line"), "x1"), xs[1], 0.02);
  EXPECT_EQ(p.one("summary-estimate").text, "0.6353 [0.5000, 0.8000]");

  // A limit of 0 or beyond the axis ends the diamond at the plot's edge; no diamond without
  // a summary on the axis.
  d.summary_limits = std::make_pair(0.0f, kInf);
  const Picture edge(d);
  const std::string edge_points = edge.one("summary-diamond").attribute("points");
  EXPECT_EQ(std::stod(edge_points), number(edge.one("rr-axis"), "x1"));
  expect_finite_geometry(edge.root);
  d.rrmh = kNaN;
  EXPECT_TRUE(Picture(d).all("summary-diamond").empty());
}

TEST(PlotDensity, ChiSquaredCurveScaledToTheHistogramWhenAsked) {
  PlotData d = ordinary_data();
  const Picture plain(d);
  EXPECT_TRUE(plain.all("chi-squared-density").empty());
  EXPECT_TRUE(plain.all("legend").empty());

  d.chi_squared_df = 4.0;
  const Picture p(d);
  expect_finite_geometry(p.root);
  const Element& curve = p.one("chi-squared-density");
  // 301 points from Q = 0 to 20; at Q = 14 (point 210) the expected runs per bin are
  // 1000 runs x width 1 x density 14 e^-7 / 4.
  std::vector<std::pair<double, double>> pts;
  std::string text = curve.attribute("points");
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t comma = text.find(',', at);
    std::size_t blank = text.find(' ', comma);
    if (blank == std::string::npos) blank = text.size();
    pts.emplace_back(std::stod(text.substr(at, comma - at)), std::stod(text.substr(comma + 1, blank - comma - 1)));
    at = blank + 1;
  }
  ASSERT_EQ(pts.size(), 301u);
  EXPECT_NEAR(pts[210].first, x_from_ticks(p, "q", 14.0, false), 0.02);
  // The count axis: the labelled ticks give the pixels of a run.
  const auto counts = p.all("count-tick-label");
  ASSERT_GE(counts.size(), 2u);
  const double y0 = number(*counts.front(), "y") - 4.0, c0 = std::stod(counts.front()->text);
  const double y1 = number(*counts.back(), "y") - 4.0, c1 = std::stod(counts.back()->text);
  const double expected = 1000.0 * 14.0 * std::exp(-7.0) / 4.0;
  EXPECT_NEAR(pts[210].second, y0 + (expected - c0) / (c1 - c0) * (y1 - y0), 0.02);
  // The density's peak (184 runs at Q = 2) raises the count axis to one and a half times the
  // tallest bar (50) at most; the curve is cut above it.
  EXPECT_EQ(c1, 80.0);
  EXPECT_EQ(pts[30].second, number(p.one("q-axis"), "y1") - 220.0);
  std::vector<std::string> legend;
  for (const Element* e : p.all("legend")) legend.push_back(e->text);
  EXPECT_EQ(legend, (std::vector<std::string>{"simulated Q", "at or below the observed Q",
                                              "asymptotic chi-squared density (4 degrees of freedom), in runs "
                                              "per bin"}));

  // One degree of freedom: unbounded at 0, held at the plot's top and clipped there.
  d.chi_squared_df = 1.0;
  const Picture one(d);
  expect_finite_geometry(one.root);
  EXPECT_NE(one.one("chi-squared-density").attribute("points").size(), 0u);
  EXPECT_NE(one.text.find("<clipPath id=\"q-plot-area\">"), std::string::npos);
  // No degrees of freedom (a single study): no curve, and the legend says why.
  d.chi_squared_df = 0.0;
  const Picture none(d);
  EXPECT_TRUE(none.all("chi-squared-density").empty());
  EXPECT_EQ(none.all("legend").back()->text, "No chi-squared density for 0 degrees of freedom.");
}

TEST(PlotTitle, TheMetaAnalysisIsNamedAboveEverything) {
  PlotData d = ordinary_data();
  EXPECT_TRUE(Picture(d).all("meta-analysis-title").empty());
  d.title = "BCG & tuberculosis <trials>";
  const Picture p(d);
  EXPECT_EQ(p.one("meta-analysis-title").text, "BCG & tuberculosis <trials>");
  EXPECT_EQ(p.root.children.front().tag, "title");
  EXPECT_EQ(p.root.children.front().text,
            "BCG & tuberculosis <trials> - OSKEV: risk ratios of the studies and the null distribution of Q");
  // Everything below moves down by the title line.
  EXPECT_EQ(number(p.one("title"), "y"), 58.0);
  EXPECT_EQ(number(p.root, "height"), number(Picture(ordinary_data()).root, "height") + 28.0);
}

TEST(PlotDistribution, BinnedRunsAreDrawnWithTheirCounts) {
  PlotData d = ordinary_data();
  QDistribution q(d.q);
  std::vector<float> slice;
  for (int k = 0; k < 250000; ++k) slice.push_back(k % 5000 == 0 ? kNaN : static_cast<float>((k * 37) % 1000) / 50.0f);
  q.add(slice);
  ASSERT_TRUE(q.binned());
  d.distribution = q;
  d.nruns = 250000;
  d.chi_squared_df = 4.0;
  d.title = "Long run";
  const Picture p(d);
  expect_finite_geometry(p.root);
  EXPECT_EQ(p.one("caption").text,
            "Histogram of 249,950 simulated Q values in 40 bins of width 0.5; dark: at or below the observed Q.");
  EXPECT_EQ(p.one("caption-undefined").text, "50 runs with an undefined Q left out.");
  EXPECT_EQ(p.one("caption-binned").text,
            "Bins set by the first 80,000 runs of 250,000; a later Q beyond them is counted in the end bin.");
  // Bins from the first 80,000 values (50 as the target), holding all 249,950.
  const auto bins = p.all("q-bin");
  EXPECT_EQ(bins.size(), 40u);
  EXPECT_EQ(q.histogram(d.q).counts.size(), 40u);
  std::int64_t sum = 0;
  for (std::int64_t c : q.histogram(d.q).counts) sum += c;
  EXPECT_EQ(sum, 249950);
}

TEST(PlotDistribution, CountsOfAHundredThousandAndMoreReadInThousands) {
  PlotData d = ordinary_data();
  QDistribution q(d.q);
  std::vector<float> runs(2000000);
  for (std::size_t k = 0; k < runs.size(); ++k) runs[k] = static_cast<float>(k % 10);  // 0 to 9: 200,000 a value
  q.add(runs);
  d.distribution = q;
  const Picture p(d);
  std::vector<std::string> ticks;
  for (const Element* e : p.all("count-tick-label")) ticks.push_back(e->text);
  EXPECT_EQ(ticks, (std::vector<std::string>{"0", "50", "100", "150", "200"}));
  std::vector<std::string> titles;
  for (const Element* e : p.all("axis-title")) titles.push_back(e->text);
  EXPECT_NE(std::find(titles.begin(), titles.end(), "Runs (thousands)"), titles.end());
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
