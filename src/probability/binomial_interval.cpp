#include "probability/binomial_interval.hpp"

#include <cmath>
#include <limits>

#include <boost/math/distributions/binomial.hpp>

namespace oskev::probability {

namespace {

// A bad argument or a failed evaluation must give a not-a-number limit in the report, never an
// exception that ends a whole batch, a message on the console or a changed errno.
// WebAssembly's long double is a 128-bit real done in software, many times slower than double:
// there the limits are evaluated in double (they differ from x86-64's 80-bit long double in the
// last bits, less than 1e-13 relative, as a 128-bit evaluation's would too).
using QuietPolicy = boost::math::policies::policy<
#if defined(__EMSCRIPTEN__)
    boost::math::policies::promote_double<false>,
#endif
    boost::math::policies::domain_error<boost::math::policies::ignore_error>,
    boost::math::policies::pole_error<boost::math::policies::ignore_error>,
    boost::math::policies::overflow_error<boost::math::policies::ignore_error>,
    boost::math::policies::underflow_error<boost::math::policies::ignore_error>,
    boost::math::policies::denorm_error<boost::math::policies::ignore_error>,
    boost::math::policies::evaluation_error<boost::math::policies::ignore_error>,
    boost::math::policies::rounding_error<boost::math::policies::ignore_error>,
    boost::math::policies::indeterminate_result_error<boost::math::policies::ignore_error>>;

using Binomial = boost::math::binomial_distribution<double, QuietPolicy>;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

bool valid_count(std::int64_t successes, std::int64_t trials) {
  return trials > 0 && successes >= 0 && successes <= trials;
}

}  // namespace

BinomialInterval clopper_pearson(std::int64_t successes, std::int64_t trials, double level) {
  if (!valid_count(successes, trials) || !(level > 0.0 && level < 1.0)) return {kNaN, kNaN};
  // Counts up to 2^53 convert exactly; the Monte Carlo runs stay far below that.
  const auto n = static_cast<double>(trials);
  const auto x = static_cast<double>(successes);
  const double tail = (1.0 - level) / 2.0;
  return {Binomial::find_lower_bound_on_p(n, x, tail, Binomial::clopper_pearson_exact_interval),
          Binomial::find_upper_bound_on_p(n, x, tail, Binomial::clopper_pearson_exact_interval)};
}

BinomialInterval inverse_binomial(std::int64_t successes, std::int64_t trials, double level) {
  if (successes < 1 || !valid_count(successes, trials) || !(level > 0.0 && level < 1.0)) return {kNaN, kNaN};
  const double lower = clopper_pearson(successes, trials, level).lower;
  // Every trial a success: L can be no smaller, whatever p, so nothing bounds p from above.
  if (successes == trials) return {lower, 1.0};
  return {lower, clopper_pearson(successes - 1, trials - 1, level).upper};
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
