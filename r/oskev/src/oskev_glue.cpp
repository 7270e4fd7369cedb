// The R side of the OSKEV engine: one analysis of one meta-analysis, or a batch of them over
// the cores, with the values handed back to R as they are. Single-precision values are widened
// to double, which is exact, so R sees bit for bit the numbers the command line prints.
//
// Nothing here writes to the console or to a file, and no C++ exception reaches R: a library
// stop or a refusal comes back as a status and the library's message, which the R side turns
// into a condition; any other failure becomes status 70 with its description.
//
// The engine runs on a thread of its own while R's thread waits for it, asking R every tenth of
// a second whether the user pressed Ctrl-C. R is asked inside R_ToplevelExec, so its interrupt
// never jumps over C++ frames; on an interrupt the engine is told to stop at its next report of
// progress, its threads are joined, and only then is the interrupt handed on to R.

#include <Rcpp.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <exception>
#include <future>
#include <limits>
#include <new>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "engine_adapter.hpp"

namespace {

namespace glue = oskev::r_glue;

constexpr int kStatusInternal = 70;  // a fault of this package or the engine, never bad input

double widen(float value) { return static_cast<double>(value); }

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

void check_interrupt(void*) { R_CheckUserInterrupt(); }

// Whether the user asked R to stop; R's own jump, should there be one, ends inside
// R_ToplevelExec.
bool interrupt_pending() { return R_ToplevelExec(check_interrupt, nullptr) == FALSE; }

// Runs `work` on a thread of its own and waits for it, passing an interrupt of the user on to
// `cancel`. After an interrupt the work's own result is dropped and R's interrupt raised.
template <class Work>
auto run_interruptible(std::atomic<bool>& cancel, Work work) -> decltype(work()) {
  auto future = std::async(std::launch::async, std::move(work));
  while (future.wait_for(std::chrono::milliseconds(100)) != std::future_status::ready) {
    if (!cancel.load() && interrupt_pending()) cancel.store(true);
  }
  auto result = future.get();  // any exception of the work, now on R's thread
  if (cancel.load()) throw Rcpp::internal::InterruptedException();
  return result;
}

glue::Counts counts_of(const Rcpp::IntegerVector& e1, const Rcpp::IntegerVector& s1, const Rcpp::IntegerVector& e2,
                       const Rcpp::IntegerVector& s2) {
  glue::Counts counts;
  for (R_xlen_t i = 0; i < e1.size(); ++i) counts.push_back({e1[i], s1[i], e2[i], s2[i]});
  return counts;
}

glue::Request request_of(int runs, double cc_one, double cc_both, int type, int seed) {
  // The command line reads the corrections as single-precision numbers; so does R's value.
  return glue::Request{runs, to_single(cc_one), to_single(cc_both), type, seed};
}

Rcpp::List success(const glue::Analysis& analysis, std::vector<float>&& qsim) {
  const glue::Numbers& n = analysis.numbers;
  const std::size_t k = n.rr.size();
  Rcpp::NumericVector e1c(k), s1c(k), e2c(k), s2c(k);
  for (std::size_t i = 0; i < k; ++i) {
    e1c[i] = r_value(n.corrected[i][0]);
    s1c[i] = r_value(n.corrected[i][1]);
    e2c[i] = r_value(n.corrected[i][2]);
    s2c[i] = r_value(n.corrected[i][3]);
  }
  Rcpp::List studies = Rcpp::List::create(
      Rcpp::Named("ai.c") = e1c, Rcpp::Named("n1i.c") = s1c, Rcpp::Named("ci.c") = e2c,
      Rcpp::Named("n2i.c") = s2c, Rcpp::Named("rr") = widen_all(n.rr), Rcpp::Named("rr.lb") = widen_all(n.rr_lower),
      Rcpp::Named("rr.ub") = widen_all(n.rr_upper), Rcpp::Named("var.logrr") = widen_all(n.var_log_rr),
      Rcpp::Named("w") = widen_all(n.weight));

  // The one allocation that grows with the runs: should R be unable to make it, its error
  // unwinds this frame as an exception first, so nothing of the simulation is left behind.
  const auto runs = static_cast<R_xlen_t>(qsim.size());
  Rcpp::NumericVector simulated(Rcpp::unwindProtect([runs] { return Rf_allocVector(REALSXP, runs); }));
  for (R_xlen_t j = 0; j < runs; ++j) simulated[j] = r_value(qsim[j]);
  qsim.clear();
  qsim.shrink_to_fit();

  // No simulated Q can be compared with an observed Q that is not a number: no P left.
  auto left = [&n](double value) { return n.q_undefined ? NA_REAL : r_value(value); };
  // Rcpp::List::create takes at most 20 entries at a time.
  Rcpp::List observed = Rcpp::List::create(
      Rcpp::Named("rrmh") = r_value(n.rrmh), Rcpp::Named("ci.lb") = r_value(n.rrmh_lower),
      Rcpp::Named("ci.ub") = r_value(n.rrmh_upper), Rcpp::Named("var.logrrmh") = r_value(n.var_log_rrmh),
      Rcpp::Named("q") = r_value(n.q), Rcpp::Named("df") = n.df, Rcpp::Named("I2") = r_value(n.i_squared),
      Rcpp::Named("p.asym") = r_value(n.p_asymptotic), Rcpp::Named("p.upper") = r_value(n.p_upper),
      Rcpp::Named("p.lower") = r_value(n.p_lower));
  Rcpp::List simulation = Rcpp::List::create(
      Rcpp::Named("runs") = n.runs, Rcpp::Named("not.above") = n.not_above, Rcpp::Named("undefined") = n.undefined,
      Rcpp::Named("q.undefined") = n.q_undefined, Rcpp::Named("p.left") = left(widen(n.p_left)),
      Rcpp::Named("p.left.plus1") = left(n.p_left_plus_one), Rcpp::Named("p.left.se") = left(n.mc_standard_error),
      Rcpp::Named("p.left.lb") = left(n.p_left_lower), Rcpp::Named("p.left.ub") = left(n.p_left_upper));
  return Rcpp::List::create(Rcpp::Named("status") = 0, Rcpp::Named("message") = std::string(),
                            Rcpp::Named("observed") = observed, Rcpp::Named("simulation") = simulation,
                            Rcpp::Named("studies") = studies, Rcpp::Named("qsim") = simulated);
}

// The columns of `oskev analyse -f csv` as a named list: an empty cell is NA.
Rcpp::List columns(const std::vector<glue::Column>& columns) {
  Rcpp::List out(columns.size());
  Rcpp::CharacterVector names(columns.size());
  for (std::size_t c = 0; c < columns.size(); ++c) {
    const glue::Column& column = columns[c];
    names[c] = column.name;
    const auto size = static_cast<R_xlen_t>(column.empty.size());
    if (column.text) {
      Rcpp::CharacterVector values(size);
      for (R_xlen_t i = 0; i < size; ++i) {
        if (column.empty[i]) values[i] = NA_STRING; else values[i] = column.texts[i];
      }
      out[c] = values;
    } else {
      Rcpp::NumericVector values(size);
      for (R_xlen_t i = 0; i < size; ++i) values[i] = column.empty[i] ? NA_REAL : r_value(column.numbers[i]);
      out[c] = values;
    }
  }
  out.attr("names") = names;
  return out;
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
    if (s1.size() != e1.size() || e2.size() != e1.size() || s2.size() != e1.size()) {
      return failure(kStatusInternal, "the four count vectors differ in length");
    }
    const glue::Counts counts = counts_of(e1, s1, e2, s2);
    const glue::Request request = request_of(runs, ccone, ccboth, iopt, seed);
    std::atomic<bool> cancel{false};
    std::vector<float> qsim;
    glue::Watch watch;
    watch.on_runs = [&qsim](std::span<const float> slice) { qsim.insert(qsim.end(), slice.begin(), slice.end()); };
    watch.keep_going = [&cancel] { return !cancel.load(); };
    glue::Analysis analysis = run_interruptible(cancel, [&] { return glue::analyse(counts, request, watch); });
    if (analysis.status != 0) {
      return Rcpp::List::create(Rcpp::Named("status") = analysis.status, Rcpp::Named("message") = analysis.message,
                                Rcpp::Named("why") = analysis.why);
    }
    return success(analysis, std::move(qsim));
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

// Many meta-analyses at once, as `oskev analyse` runs them: `group` gives each study's
// meta-analysis (1 ... length(names)), in the order of `names`; `jobs` meta-analyses are
// analysed side by side. Every meta-analysis has the same settings and seed, so every row is
// the one `oskev analyse --seed N` gives for its group, whatever the jobs.
// [[Rcpp::export(.oskev_analyse_groups)]]
Rcpp::List oskev_analyse_groups(Rcpp::IntegerVector e1, Rcpp::IntegerVector s1, Rcpp::IntegerVector e2,
                                Rcpp::IntegerVector s2, Rcpp::IntegerVector group, Rcpp::CharacterVector names,
                                int runs, double ccone, double ccboth, int iopt, int seed, int jobs,
                                std::string source) {
  try {
    std::vector<glue::Counts> groups(static_cast<std::size_t>(names.size()));
    for (R_xlen_t i = 0; i < e1.size(); ++i) {
      groups.at(static_cast<std::size_t>(group[i] - 1)).push_back({e1[i], s1[i], e2[i], s2[i]});
    }
    std::vector<std::string> group_names(groups.size());
    for (std::size_t g = 0; g < groups.size(); ++g) group_names[g] = Rcpp::as<std::string>(names[g]);
    const glue::Request request = request_of(runs, ccone, ccboth, iopt, seed);
    std::atomic<bool> cancel{false};
    const auto table = run_interruptible(cancel, [&] {
      return glue::analyse_batch(groups, group_names, source, request, static_cast<unsigned>(jobs), cancel);
    });
    return columns(table);
  } catch (const Rcpp::internal::InterruptedException&) {
    throw;
  } catch (const Rcpp::LongjumpException&) {
    throw;
  } catch (const std::bad_alloc&) {
    return failure(kStatusInternal, "not enough memory for these analyses");
  } catch (const std::exception& e) {
    return failure(kStatusInternal, std::string("internal error: ") + e.what());
  } catch (...) {
    return failure(kStatusInternal, "internal error");
  }
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
