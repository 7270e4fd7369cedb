#include "analysis/simulation/draws.hpp"

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "random/binomial.hpp"
#include <cstdio>

namespace oskev::analysis {

namespace {

std::string number(double x) {
  char text[32];
  std::snprintf(text, sizeof text, "%.7g", x);
  return text;
}

// Why the generator refuses a draw, in the terms of the study it belongs to.
std::string why_refused(std::int32_t n, float p, std::int32_t nr, const DrawPlace& place) {
  const std::string study = study_label(place.study);
  const std::string arm = place.arm == 0 ? "its total of events" : "arm " + std::to_string(place.arm);
  const std::string run = place.run < 0 ? "" : ", run " + std::to_string(place.run + 1);
  if (nr < 1) return "there are no runs to simulate (" + std::to_string(nr) + " asked for)";
  if (n < 1) return study + ": arm " + std::to_string(place.arm) + " has no subjects, so it cannot be simulated";
  if (std::isnan(p)) {
    return study + ": the event probability of " + arm + " is not a number (the common risk ratio is " +
           number(place.rrmh) + ")";
  }
  if (p <= 0.0f) {
    return study + " has no events in either arm and no continuity correction for that (the correction for zero "
                   "events in both arms is 0), so " + arm + " has no event probability to simulate with";
  }
  return study + run + ": under the common risk ratio " + number(place.rrmh) + " the event probability of " + arm +
         " is " + number(p) + ", and a probability must be below 1";
}

}  // namespace

void check_draw(std::int32_t n, float p, std::int32_t nr, std::int32_t seed, const DrawPlace& place,
                errors::ErrorService& errors) {
  if (random::binomial_arguments_valid(nr, n, p)) [[likely]] return;
  random::Lehmer stream{seed};
  random::BinomialSetup setup;
  std::vector<std::int32_t> ir(static_cast<std::size_t>(std::max(nr, 1)));
  try {
    random::RNBIN(nr, n, p, ir.data(), stream, setup, errors);
  } catch (const errors::RunStopped&) {
    throw DrawRefused(why_refused(n, p, nr, place));
  }
  throw std::logic_error("RNBIN accepted arguments it refuses");
}

void refuse(const std::string& report) { throw errors::RunStopped(errors::kExitRefused, report); }

std::vector<std::size_t> slice_bounds(std::size_t runs, const SliceOptions& slices) {
  std::vector<std::size_t> bounds{0};
  std::size_t size = slices.first_runs == 0 ? runs : slices.first_runs;
  const std::size_t most = slices.most_runs == 0 ? size : std::max(slices.most_runs, size);
  for (std::size_t k = 0; k < runs;) {
    k += std::min(std::max<std::size_t>(size, 1), runs - k);
    bounds.push_back(k);
    size = std::min(size > most / 2 ? most : 2 * size, most);
  }
  return bounds;
}

}  // namespace oskev::analysis
