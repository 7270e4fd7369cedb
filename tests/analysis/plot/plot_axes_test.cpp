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

}  // namespace
}  // namespace oskev::analysis
