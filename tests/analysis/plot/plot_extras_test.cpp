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
#include "analysis/plot/picture_reader.hpp"


namespace oskev::analysis {
namespace {

using namespace oskev::analysis::picture_testing;

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
