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

}  // namespace
}  // namespace oskev::analysis
