#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <numeric>
#include <span>
#include <vector>

#include "analysis/plot/plot_axes.hpp"
#include "analysis/plot/q_distribution.hpp"

namespace oskev::analysis {
namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr std::size_t kExact = QDistribution::kExactRuns;

// A skewed, Q-like stream with an undefined run now and then and an infinite one rarely.
std::vector<float> stream(std::size_t n, std::uint32_t seed) {
  std::vector<float> out;
  out.reserve(n);
  std::uint32_t s = seed;
  for (std::size_t k = 0; k < n; ++k) {
    s = s * 1664525u + 1013904223u;
    const double u = (static_cast<double>(s >> 8) + 0.5) / 16777216.0;
    if (k % 997 == 5) {
      out.push_back(kNaN);
    } else if (k % 40013 == 7) {
      out.push_back(kInf);
    } else {
      out.push_back(static_cast<float>(-4.0 * std::log(u)));
    }
  }
  return out;
}

QDistribution fed_in_slices(const std::vector<float>& values, std::size_t slice, float observed_q) {
  QDistribution q(observed_q);
  const std::span<const float> all(values);
  for (std::size_t at = 0; at < all.size(); at += slice) q.add(all.subspan(at, std::min(slice, all.size() - at)));
  return q;
}

void expect_same(const plot_axes::Histogram& a, const plot_axes::Histogram& b) {
  EXPECT_EQ(a.start, b.start);
  EXPECT_EQ(a.width, b.width);
  EXPECT_EQ(a.counts, b.counts);
}

std::int64_t total(const plot_axes::Histogram& h) {
  return std::accumulate(h.counts.begin(), h.counts.end(), std::int64_t{0});
}

TEST(PlotQDistribution, UpToTheKeptRunsTheHistogramIsThatOfTheList) {
  const std::vector<float> values = stream(kExact, 11);
  const float observed = 9.5f;
  // What the picture draws from a list: the survey's range, the observed Q, the bin target.
  QSurvey survey;
  for (float v : values) survey.add(v);
  const plot_axes::Histogram expected = plot_axes::make_histogram(
      values, q_histogram_bins(survey, observed).start, q_histogram_bins(survey, observed).end(),
      plot_axes::histogram_bin_target(static_cast<std::size_t>(survey.finite)));
  ASSERT_EQ(total(expected), survey.finite);
  for (std::size_t slice : {kExact, std::size_t{1}, std::size_t{7}, std::size_t{1000}, kExact - 1}) {
    const QDistribution q = fed_in_slices(values, slice, observed);
    EXPECT_FALSE(q.binned()) << slice;
    EXPECT_EQ(q.runs(), static_cast<std::int64_t>(kExact));
    EXPECT_EQ(q.finite(), survey.finite);
    EXPECT_EQ(q.undefined(), survey.undefined);
    EXPECT_EQ(q.infinite(), survey.infinite);
    expect_same(q.histogram(observed), expected);
  }
  EXPECT_GT(survey.undefined, 0);
  EXPECT_GT(survey.infinite, 0);
  // While all are kept the bins follow the observed Q given when drawing.
  const QDistribution q = fed_in_slices(values, 500, kNaN);
  expect_same(q.histogram(observed), expected);
}

TEST(PlotQDistribution, BeyondTheKeptRunsLaterValuesCountIntoFixedBins) {
  const std::vector<float> values = stream(3 * kExact + 12345, 23);
  const float observed = 9.5f;
  const std::vector<float> first(values.begin(), values.begin() + kExact);
  const QDistribution exact = fed_in_slices(first, kExact, observed);
  const plot_axes::Histogram first_bins = exact.histogram(observed);

  std::vector<plot_axes::Histogram> seen;
  for (std::size_t slice : {values.size(), std::size_t{1}, std::size_t{4096}, kExact + 1}) {
    const QDistribution q = fed_in_slices(values, slice, observed);
    ASSERT_TRUE(q.binned());
    EXPECT_EQ(q.runs(), static_cast<std::int64_t>(values.size()));
    const plot_axes::Histogram h = q.histogram(kNaN);  // fixed: the observed Q of now no longer matters
    EXPECT_EQ(h.start, first_bins.start);
    EXPECT_EQ(h.width, first_bins.width);
    EXPECT_EQ(h.counts.size(), first_bins.counts.size());
    EXPECT_EQ(total(h), q.finite());
    EXPECT_EQ(q.finite() + q.undefined() + q.infinite(), q.runs());
    EXPECT_EQ(q.kept().size(), static_cast<std::size_t>(exact.finite()));
    EXPECT_LE(q.kept().capacity(), kExact);  // flat memory, whatever the runs
    seen.push_back(h);
  }
  for (const auto& h : seen) expect_same(h, seen.front());

  // A value beyond the bins counts in the nearest end bin.
  QDistribution q = fed_in_slices(values, 10000, observed);
  const plot_axes::Histogram before = q.histogram(observed);
  const std::vector<float> outside = {1e30f, -5.0f, kNaN, -kInf};
  q.add(outside);
  const plot_axes::Histogram after = q.histogram(observed);
  EXPECT_EQ(after.counts.back(), before.counts.back() + 1);
  EXPECT_EQ(after.counts.front(), before.counts.front() + 1);
  EXPECT_EQ(q.undefined(), static_cast<std::int64_t>(std::count_if(values.begin(), values.end(),
                                                                   [](float v) { return std::isnan(v); })) +
                               1);
}

TEST(PlotQDistribution, UndefinedFirstRunsLeaveTheBinsToLaterOnesWithinBoundedMemory) {
  QDistribution q(3.0f);
  const std::vector<float> undefined(kExact + 10, kNaN);
  q.add(undefined);
  EXPECT_EQ(q.finite(), 0);
  EXPECT_EQ(q.histogram(3.0f).counts.size(), 0u);
  std::vector<float> later(kExact + 500);
  for (std::size_t k = 0; k < later.size(); ++k) later[k] = static_cast<float>(k % 100) / 10.0f;
  q.add(later);
  ASSERT_TRUE(q.binned());
  EXPECT_EQ(q.kept().size(), kExact);
  EXPECT_EQ(total(q.histogram(3.0f)), static_cast<std::int64_t>(later.size()));
  EXPECT_EQ(q.undefined(), static_cast<std::int64_t>(undefined.size()));
}

TEST(PlotQDistribution, HistogramBinsFollowThePictureRules) {
  QSurvey s;
  for (float v : {4.0f, 6.0f, 10.0f}) s.add(v);
  // The range 4 to 10 starts at 0 (4 is less than half of 10); the observed Q within half the
  // range (3) is taken in, beyond it not.
  const auto near = q_histogram_bins(s, 12.5f);
  EXPECT_EQ(near.start, 0.0);
  EXPECT_GE(near.end(), 12.5);
  const auto far = q_histogram_bins(s, 14.0f);
  EXPECT_LT(far.end(), 14.0);
  QSurvey high;
  for (float v : {100.0f, 120.0f}) high.add(v);
  EXPECT_GE(q_histogram_bins(high, kNaN).start, 100.0 - 20.0);  // far from 0: not widened to it
  for (const auto& h : {near, far}) {
    for (std::int64_t c : h.counts) EXPECT_EQ(c, 0);
  }
}

}  // namespace
}  // namespace oskev::analysis
