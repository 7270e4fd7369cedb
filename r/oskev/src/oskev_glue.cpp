// The R side of the OSKEV engine: one call of the engine's door, oskev::analysis::analyse(), per meta-analysis,
// with its values handed back to R as they are. Single-precision values are widened to
// double, which is exact, so R sees bit for bit the numbers the command line prints.
//
// Nothing here writes to the console or to a file, and no C++ exception reaches R: a library
// stop or a refusal comes back as a status and the library's message, which the R side turns
// into a condition; any other failure becomes status 70 with its description. An interrupt
// (Ctrl-C) raised while the simulation runs leaves through Rcpp, after the engine has joined
// its threads.

#include <Rcpp.h>

#include <cmath>
#include <cstdint>
#include <exception>
#include <limits>
#include <new>
#include <span>
#include <string>
#include <vector>

#include "analysis/engine.hpp"
#include "random/clock.hpp"
#include "random/uniform_stream.hpp"

namespace {

namespace an = oskev::analysis;

constexpr int kStatusInternal = 70;  // a fault of this package or the engine, never bad input

// Slices of about a million simulated tables: long simulations stay responsive to Ctrl-C
// without noticeable cost.
constexpr std::size_t kTablesPerSlice = std::size_t{1} << 20;

double widen(float value) { return static_cast<double>(value); }

// Keeps the simulated Q, and lets Ctrl-C through between slices of runs.
class Collector final : public an::Observer {
 public:
  void on_runs(std::int64_t, std::span<const float> slice) override {
    qsim.insert(qsim.end(), slice.begin(), slice.end());
    Rcpp::checkUserInterrupt();
  }
  std::vector<float> qsim;
};

// Round to nearest single, ties to even, without the undefined behaviour of converting a
// double beyond the single range: from halfway between the largest single and 2^128 on it
// rounds to infinity.
float to_single(double value) {
  constexpr double kOverflow = 340282356779733661637539395458142568448.0;  // 2^128 - 2^103
  if (std::isnan(value)) return std::numeric_limits<float>::quiet_NaN();
  if (value >= kOverflow) return std::numeric_limits<float>::infinity();
  if (value <= -kOverflow) return -std::numeric_limits<float>::infinity();
  return static_cast<float>(value);
}

// R tells NA from NaN by a payload; a not-a-number from the engine is always R's NaN.
double r_value(double value) { return std::isnan(value) ? R_NaN : value; }
double r_value(float value) { return r_value(widen(value)); }

Rcpp::NumericVector widen_all(const std::vector<float>& values) {
  Rcpp::NumericVector out(values.size());
  for (std::size_t i = 0; i < values.size(); ++i) out[i] = r_value(values[i]);
  return out;
}

Rcpp::List failure(int status, const std::string& message) {
  return Rcpp::List::create(Rcpp::Named("status") = status, Rcpp::Named("message") = message);
}

Rcpp::List success(const an::Result& result, std::vector<float>&& qsim) {
  const an::StudyTable& table = result.table;
  const std::size_t k = table.size();
  Rcpp::NumericVector e1c(k), s1c(k), e2c(k), s2c(k);
  for (std::size_t i = 0; i < k; ++i) {
    e1c[i] = r_value(table.COUNT[i][an::kEvents1]);
    s1c[i] = r_value(table.COUNT[i][an::kSubjects1]);
    e2c[i] = r_value(table.COUNT[i][an::kEvents2]);
    s2c[i] = r_value(table.COUNT[i][an::kSubjects2]);
  }
  Rcpp::List studies = Rcpp::List::create(
      Rcpp::Named("ai.c") = e1c, Rcpp::Named("n1i.c") = s1c, Rcpp::Named("ci.c") = e2c,
      Rcpp::Named("n2i.c") = s2c, Rcpp::Named("rr") = widen_all(table.RR),
      Rcpp::Named("rr.lb") = widen_all(table.RRLL), Rcpp::Named("rr.ub") = widen_all(table.RRUL),
      Rcpp::Named("var.logrr") = widen_all(table.VLOGRR), Rcpp::Named("weight") = widen_all(table.WEIGHT));

  // The one allocation that grows with the runs: should R be unable to make it, its error
  // unwinds this frame as an exception first, so nothing of the simulation is left behind.
  const auto runs = static_cast<R_xlen_t>(qsim.size());
  Rcpp::NumericVector simulated(Rcpp::unwindProtect([runs] { return Rf_allocVector(REALSXP, runs); }));
  for (R_xlen_t j = 0; j < runs; ++j) simulated[j] = r_value(qsim[j]);
  qsim.clear();
  qsim.shrink_to_fit();

  // Rcpp::List::create takes at most 20 entries at a time.
  Rcpp::List observed = Rcpp::List::create(
      Rcpp::Named("rrmh") = r_value(result.observed.RRMH), Rcpp::Named("rrmh.lb") = r_value(result.rrmh_lower),
      Rcpp::Named("rrmh.ub") = r_value(result.rrmh_upper),
      Rcpp::Named("var.logrrmh") = r_value(result.log_rrmh_variance), Rcpp::Named("q") = r_value(result.observed.Q),
      Rcpp::Named("df") = result.observed.DF, Rcpp::Named("I2") = r_value(result.i_squared),
      Rcpp::Named("p.asym") = r_value(result.observed.PASYM), Rcpp::Named("p.upper") = r_value(result.p_upper),
      Rcpp::Named("p.lower") = r_value(result.p_lower));
  Rcpp::List simulation = Rcpp::List::create(
      Rcpp::Named("runs") = static_cast<double>(result.runs), Rcpp::Named("b") = static_cast<double>(result.not_above),
      Rcpp::Named("undefined") = static_cast<double>(result.undefined), Rcpp::Named("p.left") = r_value(result.p_left),
      Rcpp::Named("p.left.plus1") = r_value(result.p_left_plus_one),
      Rcpp::Named("se") = r_value(result.mc_standard_error), Rcpp::Named("ci.lb") = r_value(result.p_left_lower),
      Rcpp::Named("ci.ub") = r_value(result.p_left_upper));
  return Rcpp::List::create(Rcpp::Named("status") = 0, Rcpp::Named("message") = std::string(),
                            Rcpp::Named("observed") = observed, Rcpp::Named("simulation") = simulation,
                            Rcpp::Named("studies") = studies, Rcpp::Named("qsim") = simulated);
}

}  // namespace

// The analysis of one meta-analysis. The R side has checked every argument: equal lengths,
// counts that are whole numbers within 0 ... 2147483647 with no more events than subjects,
// runs of at least 1, corrections that are finite and not negative, type 1 or 2, and a seed
// within 1 ... 2147483646.
// [[Rcpp::export(.oskev_analyse)]]
Rcpp::List oskev_analyse(Rcpp::IntegerVector e1, Rcpp::IntegerVector s1, Rcpp::IntegerVector e2,
                         Rcpp::IntegerVector s2, int runs, double ccone, double ccboth, int iopt, int seed) {
  try {
    const R_xlen_t k = e1.size();
    if (s1.size() != k || e2.size() != k || s2.size() != k) {
      return failure(kStatusInternal, "the four count vectors differ in length");
    }
    std::vector<an::Study> studies(static_cast<std::size_t>(k));
    for (R_xlen_t i = 0; i < k; ++i) studies[i] = {e1[i], s1[i], e2[i], s2[i], ""};

    // The command line reads the corrections as single-precision numbers; so does R's value.
    const an::Model model{iopt == 1 ? an::Prevalence::kFixed : an::Prevalence::kRandom, to_single(ccone),
                          to_single(ccboth)};
    an::Run run;
    run.runs = runs;
    run.seed = seed;
    run.tuning.tables_per_slice = kTablesPerSlice;
    Collector collector;
    const an::Outcome outcome = an::analyse(studies, model, run, &collector);
    if (!outcome.ok()) {
      const an::Failure& f = outcome.failure();
      const int status = f.kind == an::FailureKind::kLibraryStop ? 1 : 3;
      std::string message = f.message;
      message.erase(0, message.find_first_not_of(" \n"));
      message.erase(message.find_last_not_of(" \n") + 1);
      return failure(status, f.why.empty() ? message : f.why + ":\n" + message);
    }
    return success(outcome.result(), std::move(collector.qsim));
  } catch (const Rcpp::internal::InterruptedException&) {
    throw;  // Rcpp hands the interrupt to R once this frame is gone
  } catch (const Rcpp::LongjumpException&) {
    throw;  // an R error (out of memory), resumed by Rcpp once this frame is gone
  } catch (const std::bad_alloc&) {
    return failure(kStatusInternal, "not enough memory for this analysis");
  } catch (const std::exception& e) {
    return failure(kStatusInternal, std::string("internal error: ") + e.what());
  } catch (...) {
    return failure(kStatusInternal, "internal error");
  }
}

// The seed the program takes from the clock: 10000 * hour + 100 * minute + second + 1 of the
// local time, and the fixed seed at midnight, whose own value (1) is a poor start.
// [[Rcpp::export(.clock_seed)]]
int clock_seed() {
  oskev::random::SystemClock clock;
  return oskev::random::seed_from_clock(clock);
}

// x rounded to single precision (round to nearest, ties to even) and widened back: the float
// a decimal of the command line's output stands for.
// [[Rcpp::export(.as_single)]]
Rcpp::NumericVector as_single(Rcpp::NumericVector x) {
  Rcpp::NumericVector out(x.size());
  for (R_xlen_t i = 0; i < x.size(); ++i) {
    out[i] = std::isnan(x[i]) ? x[i] : widen(to_single(x[i]));
  }
  return out;
}
