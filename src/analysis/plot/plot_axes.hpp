#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Axes, ticks, histogram bins and number texts of the picture a complete run draws.
namespace oskev::analysis::plot_axes {

// A value with `significant` digits (1 to 9): fixed notation from 1e-4 up to 1e6 with trailing
// zeros kept ("0.0680", "1.00", "152"), otherwise mantissa and exponent ("1.23e-25"); NaN,
// Infinity and -Infinity as the console writes them.
std::string format_value(double value, int significant);
// A P-value: four decimals, or three significant digits below 0.0001 so that a tiny P-value
// does not read as 0; exactly 0 as "0".
std::string format_p_value(double value);
// A tick label: the shortest text of up to six significant digits ("0.2", "1", "1e-5").
std::string format_tick(double value);
// A count with thousands separated by commas ("80,000").
std::string format_count(std::int64_t value);

// An axis running from lo to hi, with the values its ticks are drawn at (within [lo, hi],
// ascending).
struct Axis {
  double lo = 0.0;
  double hi = 1.0;
  std::vector<double> ticks;
};

// The smallest step of the form 1, 2 or 5 times a power of ten that is at least `raw`; 1 for a
// step that is not positive and finite.
double nice_step(double raw);

// Ticks at the multiples of a 1-2-5 step, about `target` intervals over [lo, hi]. The axis ends
// move out to the nearest ticks.
Axis linear_axis(double lo, double hi, int target);
// The same step, but the axis keeps its ends and carries only the ticks inside them.
Axis linear_ticks_within(double lo, double hi, int target);

// A log axis for risk ratios from lo to hi (positive and finite). Ranges up to threefold get
// evenly stepped ticks (0.8, 0.9, 1, 1.1, ...); wider ranges the coarsest of 1-1.5-2-3-5-7,
// 1-2-5, every decade, every 2, 5, 10 or 20 decades that leaves at least four ticks inside the
// range. The ends move out to ticks, so the axis is labelled at both ends. A range narrower
// than 1.1-fold is widened to that about its geometric middle.
Axis log_axis(double lo, double hi);

// Bins of equal 1-2-5 width over [lo, hi] (edges at multiples of the width) and the number of
// finite values in each; a value on an inner edge counts in the bin above it, the upper end
// in the last bin. Values outside [lo, hi] count in the nearest end bin. Not finite values are
// not counted.
struct Histogram {
  double start = 0.0;
  double width = 1.0;
  std::vector<std::int64_t> counts;
  double end() const { return start + width * static_cast<double>(counts.size()); }
  // Counts one more value by the rules above (one that is not finite is not counted).
  void add(float value);
};
Histogram make_histogram(const std::vector<float>& values, double lo, double hi, int target_bins);
// The same bins with every count 0, to be filled by add.
Histogram empty_histogram(double lo, double hi, int target_bins);

// Bins for n values: about twice the cube root of n, at least 5 and at most 50, so a few
// thousand runs get a smooth outline and a few runs still a readable one.
int histogram_bin_target(std::size_t n);

}  // namespace oskev::analysis::plot_axes
