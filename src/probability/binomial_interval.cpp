// The exact limits are the binomial probabilities at which a tail of the observed count equals
// (1 - level) / 2: the lower limit solves P(X >= x) = I_p(x, n - x + 1) = tail and the upper
// P(X <= x) = I_(1-p)(n - x, x + 1) = tail. Newton's method finds them on the logarithm of the
// tail, in the logit of p while the steps are large (the tail is log-concave there, so the
// steps close in on the root from one side) and in p itself near the end, and stops at the
// double from which the next step is below half a unit of the last place: with the tail
// known to twice the working precision, the limit is the double nearest the exact one.

#include "probability/binomial_interval.hpp"

#include <cmath>
#include <limits>

#include "probability/double_double.hpp"
#include "probability/elementary.hpp"
#include "probability/incomplete_beta.hpp"
#include "probability/normal_quantile.hpp"

namespace oskev::probability {

namespace {

using elementary::Wide;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();
// Counts convert to doubles exactly up to this; the Monte Carlo runs stay far below it.
constexpr std::int64_t kLargestCount = std::int64_t{1} << 52;

bool valid_count(std::int64_t successes, std::int64_t trials) {
  return trials > 0 && successes >= 0 && successes <= trials;
}

double logit(double p) { return elementary::log(p) - elementary::log(1.0 - p); }
double logistic(double u) { return 1.0 / (1.0 + elementary::exp(-u)); }

// The p in (0, 1) at which the tail I_y(a, b) equals `tail`, y = p for the lower limit and
// y = 1 - p for the upper (`mirrored`), rounded to the nearest double.
class Limit {
 public:
  Limit(double a, double b, bool mirrored, double tail)
      : beta_(a, b), mirrored_(mirrored), log_tail_(elementary::log_wide(tail)) {}

  double solve(double start) const {
    // The root lies between lo and hi, at which h is negative and positive.
    Point lo{0.0, -kInf};
    Point hi{1.0, kInf};
    double p = start;
    for (int step = 0; step < 400; ++step) {
      const Point at = evaluate(p);
      if (at.h == 0.0) return p;
      (at.h < 0.0 ? lo : hi) = at;
      if (std::nextafter(lo.p, 1.0) == hi.p) return -lo.h <= hi.h ? lo.p : hi.p;
      const double move = -at.h / at.slope;
      double next = std::fabs(move) <= 0.25 * std::fmin(p, 1.0 - p) ? p + move
                                                                    : logistic(logit(p) + move / (p * (1.0 - p)));
      if (next == p) return p;
      if (!(next > lo.p && next < hi.p)) next = between(lo.p, hi.p);
      p = next;
    }
    return p;
  }

 private:
  // h(p) = ln I - ln tail, oriented to increase with p, and its derivative.
  struct Point {
    double p;
    double h;
    double slope = 0.0;
  };

  Point evaluate(double p) const {
    const Wide near{p, 0.0};
    const Wide far = elementary::two_sum(1.0, -p);  // 1 - p exactly
    const IncompleteBeta::Value v = mirrored_ ? beta_.at(far, near) : beta_.at(near, far);
    const Wide h = elementary::add(v.log, elementary::negate(log_tail_));
    const double sign = mirrored_ ? -1.0 : 1.0;
    return {p, sign * (h.hi + h.lo), v.log_slope};
  }

  // A point strictly between two doubles that are not neighbours: the middle in the logit,
  // a sixteenth of the way from an open end, or the plain middle.
  static double between(double lo, double hi) {
    double m;
    if (lo == 0.0) {
      m = hi / 16.0;
    } else if (hi == 1.0) {
      m = lo + (1.0 - lo) * 0.9375;
    } else {
      m = logistic(0.5 * (logit(lo) + logit(hi)));
    }
    if (!(m > lo && m < hi)) m = lo + 0.5 * (hi - lo);
    if (!(m > lo && m < hi)) m = std::nextafter(lo, 1.0);
    return m;
  }

  IncompleteBeta beta_;
  bool mirrored_;
  Wide log_tail_;
};

// The start of Newton's method: the beta distribution's quantile by the normal approximation
// of Abramowitz and Stegun, 26.5.22, a few parts in a thousand off: the x at which
// I_x(a, b) = Q(z), the upper tail of the standard normal distribution beyond z.
double beta_quantile_estimate(double a, double b, double z) {
  const double ra = 1.0 / (2.0 * a - 1.0);
  const double rb = 1.0 / (2.0 * b - 1.0);
  const double h = 2.0 / (ra + rb);
  const double lambda = (z * z - 3.0) / 6.0;
  const double w = z * std::sqrt(h + lambda) / h - (rb - ra) * (lambda + 5.0 / 6.0 - 2.0 / (3.0 * h));
  const double x = a / (a + b * elementary::exp(2.0 * w));
  return x > 0.0 && x < 1.0 ? x : a / (a + b);
}

// The tail (1 - level) / 2 that each limit leaves outside, and its standard normal deviate (for
// the start of Newton's method).
struct Tail {
  double probability;
  double deviate;
};

Tail tail_of(double level) {
  const double tail = (1.0 - level) / 2.0;
  return {tail, normal_quantile(1.0 - tail)};
}

// The exact lower limit for x successes of n trials, 0 < x <= n: the beta(x, n - x + 1) quantile
// of the tail.
double lower_limit(double x, double n, const Tail& tail) {
  return Limit(x, n - x + 1.0, false, tail.probability).solve(beta_quantile_estimate(x, n - x + 1.0, tail.deviate));
}

// The exact upper limit for x successes of n trials, 0 <= x < n: the beta(x + 1, n - x) quantile
// of the tail's complement.
double upper_limit(double x, double n, const Tail& tail) {
  return Limit(n - x, x + 1.0, true, tail.probability).solve(beta_quantile_estimate(x + 1.0, n - x, -tail.deviate));
}

bool valid_arguments(std::int64_t successes, std::int64_t trials, double level) {
  return valid_count(successes, trials) && trials <= kLargestCount && level > 0.0 && level < 1.0;
}

}  // namespace

BinomialInterval clopper_pearson(std::int64_t successes, std::int64_t trials, double level) {
  if (!valid_arguments(successes, trials, level)) return {kNaN, kNaN};
  const auto n = static_cast<double>(trials);
  const auto x = static_cast<double>(successes);
  const Tail tail = tail_of(level);
  return {successes == 0 ? 0.0 : lower_limit(x, n, tail), successes == trials ? 1.0 : upper_limit(x, n, tail)};
}

BinomialInterval inverse_binomial(std::int64_t successes, std::int64_t trials, double level) {
  if (successes < 1 || !valid_arguments(successes, trials, level)) return {kNaN, kNaN};
  const auto l = static_cast<double>(trials);
  const auto h = static_cast<double>(successes);
  const Tail tail = tail_of(level);
  // Every trial a success: L can be no smaller, whatever p, so nothing bounds p from above.
  return {lower_limit(h, l, tail), successes == trials ? 1.0 : upper_limit(h - 1.0, l - 1.0, tail)};
}

double inverse_binomial_standard_error(std::int64_t successes, std::int64_t trials) {
  if (successes < 1 || !valid_count(successes, trials)) return kNaN;
  const double p = static_cast<double>(successes) / static_cast<double>(trials);
  return std::sqrt(p * p * (1.0 - p) / static_cast<double>(successes));
}

double monte_carlo_standard_error(std::int64_t successes, std::int64_t trials) {
  if (!valid_count(successes, trials)) return kNaN;
  const auto n = static_cast<double>(trials);
  const double p = static_cast<double>(successes) / n;
  return std::sqrt(p * (1.0 - p) / n);
}

}  // namespace oskev::probability
