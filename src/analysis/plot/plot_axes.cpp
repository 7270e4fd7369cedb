#include "analysis/plot/plot_axes.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "text/edit.hpp"

namespace oskev::analysis::plot_axes {

namespace {

// mantissa times 10^exponent, divided rather than multiplied for negative exponents so that
// 2 x 10^-1 is the double nearest 0.2 and tick labels come out short.
double scaled(double mantissa, int exponent) {
  return exponent < 0 ? mantissa / std::pow(10.0, -exponent) : mantissa * std::pow(10.0, exponent);
}

struct Step {
  double mantissa = 1.0;  // 1, 2 or 5
  int exponent = 0;
  double value() const { return scaled(mantissa, exponent); }
  double times(long long i) const { return scaled(static_cast<double>(i) * mantissa, exponent); }
};

Step step_for(double raw) {
  // Far beyond anything a float range can ask for; keeps the powers of ten finite.
  if (!(raw > 0.0) || !std::isfinite(raw)) return {};
  raw = std::clamp(raw, 1e-290, 1e290);
  const int k = static_cast<int>(std::floor(std::log10(raw)));
  for (double m : {1.0, 2.0, 5.0}) {
    const Step s{m, k};
    if (s.value() >= raw * (1.0 - 1e-12)) return s;
  }
  return {1.0, k + 1};
}

// A finite range of positive width: an empty or reversed one is turned or widened.
std::pair<double, double> usable_range(double lo, double hi) {
  if (!std::isfinite(lo) || !std::isfinite(hi)) return {0.0, 1.0};
  if (hi < lo) std::swap(lo, hi);
  if (!(hi > lo)) {
    const double d = lo == 0.0 ? 1.0 : std::fabs(lo) * 0.1;
    lo -= d;
    hi += d;
  }
  return {lo, hi};
}

constexpr double kSlack = 1e-9;  // relative: a tick computed a rounding away from an end is on it
constexpr long long kMostTicks = 1000;

Axis linear(double lo_in, double hi_in, int target, bool snap) {
  const auto [lo, hi] = usable_range(lo_in, hi_in);
  const Step s = step_for((hi - lo) / std::max(1, target));
  const double step = s.value();
  const double lo_steps = lo / step;
  const double hi_steps = hi / step;
  Axis axis{lo, hi, {}};
  // Counted in whole steps only while they fit an integer (always, for ranges of floats).
  if (!(std::fabs(lo_steps) < 1e15 && std::fabs(hi_steps) < 1e15)) return axis;
  const long long i0 = static_cast<long long>(snap ? std::floor(lo_steps + kSlack) : std::ceil(lo_steps - kSlack));
  const long long i1 = static_cast<long long>(snap ? std::ceil(hi_steps - kSlack) : std::floor(hi_steps + kSlack));
  if (i1 - i0 > kMostTicks) return axis;
  for (long long i = i0; i <= i1; ++i) axis.ticks.push_back(s.times(i));
  if (snap && !axis.ticks.empty()) {
    axis.lo = axis.ticks.front();
    axis.hi = axis.ticks.back();
  }
  return axis;
}

struct LogTickSet {
  std::vector<double> mantissas;
  int decade_step;
};

std::vector<double> log_tick_values(const LogTickSet& set, double lo, double hi) {
  const int step = set.decade_step;
  int k_lo = static_cast<int>(std::floor(std::log10(lo))) - step - 1;
  const int k_hi = static_cast<int>(std::ceil(std::log10(hi))) + step + 1;
  k_lo = (k_lo >= 0 ? k_lo / step : -((-k_lo + step - 1) / step)) * step;  // down to a multiple of the step
  std::vector<double> values;
  for (int k = k_lo; k <= k_hi; k += step) {
    for (double m : set.mantissas) values.push_back(scaled(m, k));
  }
  return values;
}

}  // namespace

std::string format_value(double value, int significant) {
  if (const char* word = text::non_finite_text(value)) return word;
  if (value == 0.0) return "0";
  significant = std::clamp(significant, 1, 9);
  char buffer[64];
  // The exponent after rounding to the digits shown decides the notation (9.9996 -> 10.00).
  std::snprintf(buffer, sizeof buffer, "%.*e", significant - 1, value);
  const char* e = std::strchr(buffer, 'e');
  const int exponent = e ? std::atoi(e + 1) : 0;
  if (exponent >= -4 && exponent < 6) {
    std::snprintf(buffer, sizeof buffer, "%.*f", std::max(0, significant - 1 - exponent), value);
    return buffer;
  }
  return std::string(buffer, e ? static_cast<std::size_t>(e - buffer) : std::strlen(buffer)) + "e" +
         std::to_string(exponent);
}

std::string format_p_value(double value) {
  if (value == 0.0) return "0";  // exactly none: not a rounded small value
  if (!std::isfinite(value) || std::fabs(value) < 0.0001) return format_value(value, 3);
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.4f", value);
  return buffer;
}

std::string format_tick(double value) {
  if (!std::isfinite(value)) return format_value(value, 1);
  if (value == 0.0) return "0";
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.6g", value);
  std::string text(buffer);
  const std::size_t e = text.find('e');
  if (e == std::string::npos) return text;
  return text.substr(0, e) + "e" + std::to_string(std::atoi(text.c_str() + e + 1));
}

std::string format_count(std::int64_t value) {
  const std::uint64_t magnitude =
      value < 0 ? std::uint64_t{0} - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
  const std::string digits = std::to_string(magnitude);
  std::string out;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
    out += digits[i];
  }
  return value < 0 ? "-" + out : out;
}

double nice_step(double raw) {
  return step_for(raw).value();
}

Axis linear_axis(double lo, double hi, int target) {
  return linear(lo, hi, target, true);
}

Axis linear_ticks_within(double lo, double hi, int target) {
  return linear(lo, hi, target, false);
}

Axis log_axis(double lo, double hi) {
  if (!(lo > 0.0) || !(hi > 0.0) || !std::isfinite(lo) || !std::isfinite(hi)) {
    lo = 0.5;
    hi = 2.0;
  }
  if (hi < lo) std::swap(lo, hi);
  constexpr double kNarrowest = 1.1;
  if (hi < lo * kNarrowest) {
    const double middle = std::sqrt(lo) * std::sqrt(hi);
    const double half = std::sqrt(kNarrowest);
    lo = middle / half;
    hi = middle * half;
  }
  if (hi <= 3.0 * lo) {
    // Within a threefold range decades and 1-2-5 leave too few ticks; even steps read best,
    // and their uneven spacing on the log axis is slight.
    Axis axis = linear_axis(lo, hi, 5);
    if (axis.lo > 0.0 && axis.ticks.size() >= 2) return axis;
  }
  static const std::vector<LogTickSet> kSets = {
      {{1.0}, 20}, {{1.0}, 10}, {{1.0}, 5}, {{1.0}, 2}, {{1.0}, 1}, {{1.0, 2.0, 5.0}, 1},
      {{1.0, 1.5, 2.0, 3.0, 5.0, 7.0}, 1},
  };
  const double lo_in = lo * (1.0 - kSlack);
  const double hi_in = hi * (1.0 + kSlack);
  std::vector<double> chosen;
  for (const LogTickSet& set : kSets) {
    chosen = log_tick_values(set, lo, hi);
    const auto inside = std::count_if(chosen.begin(), chosen.end(), [&](double v) { return v >= lo_in && v <= hi_in; });
    if (inside >= 4) break;
  }
  Axis axis;
  auto first = std::find_if(chosen.rbegin(), chosen.rend(), [&](double v) { return v <= lo * (1.0 + kSlack); });
  auto last = std::find_if(chosen.begin(), chosen.end(), [&](double v) { return v >= hi * (1.0 - kSlack); });
  axis.lo = first != chosen.rend() ? *first : lo;
  axis.hi = last != chosen.end() ? *last : hi;
  for (double v : chosen) {
    if (v >= axis.lo && v <= axis.hi) axis.ticks.push_back(v);
  }
  return axis;
}

Histogram empty_histogram(double lo_in, double hi_in, int target_bins) {
  const auto [lo, hi] = usable_range(lo_in, hi_in);
  target_bins = std::max(1, target_bins);
  const Step s = step_for((hi - lo) / target_bins);
  Histogram h;
  h.width = s.value();
  const double first = std::floor(lo / h.width + kSlack);
  h.start = std::fabs(first) < 1e15 ? s.times(static_cast<long long>(first)) : lo;
  // The width is at least the range over the target, so there are target + 2 bins at most;
  // the bound only guards ranges far beyond a float's.
  const double bins = std::ceil((hi - h.start) / h.width - kSlack);
  const double most = 4.0 * target_bins + 4.0;
  const auto count = static_cast<long long>(std::isnan(bins) ? 1.0 : std::clamp(bins, 1.0, most));
  h.counts.assign(static_cast<std::size_t>(count), 0);
  return h;
}

void Histogram::add(float v) {
  if (!std::isfinite(v) || counts.empty()) return;
  const double last = static_cast<double>(counts.size() - 1);
  double index = std::floor((static_cast<double>(v) - start) / width + kSlack);
  index = std::isnan(index) ? 0.0 : std::clamp(index, 0.0, last);
  ++counts[static_cast<std::size_t>(index)];
}

Histogram make_histogram(const std::vector<float>& values, double lo, double hi, int target_bins) {
  Histogram h = empty_histogram(lo, hi, target_bins);
  for (float v : values) h.add(v);
  return h;
}

int histogram_bin_target(std::size_t n) {
  const double bins = std::round(2.0 * std::cbrt(static_cast<double>(n)));
  return static_cast<int>(std::clamp(bins, 5.0, 50.0));
}

}  // namespace oskev::analysis::plot_axes
