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

  const oskev::analysis::ReportRow& row = analysis.row;
  // Rcpp::List::create takes at most 20 entries at a time.
  Rcpp::List observed = Rcpp::List::create(
      Rcpp::Named("rrmh") = r_value(row.rrmh), Rcpp::Named("ci.lb") = r_value(row.rrmh_lower),
      Rcpp::Named("ci.ub") = r_value(row.rrmh_upper), Rcpp::Named("var.logrrmh") = r_value(n.var_log_rrmh),
      Rcpp::Named("q") = r_value(row.q), Rcpp::Named("df") = row.df, Rcpp::Named("I2") = r_value(row.i_squared),
      Rcpp::Named("p.asym") = r_value(row.p_asymptotic));
  Rcpp::List simulation = Rcpp::List::create(
      Rcpp::Named("runs") = static_cast<double>(row.runs), Rcpp::Named("not.above") = static_cast<double>(row.not_above),
      Rcpp::Named("undefined") = static_cast<double>(row.undefined), Rcpp::Named("q.undefined") = n.q_undefined,
      Rcpp::Named("p.left") = n.q_undefined ? NA_REAL : r_value(row.p_left),
      Rcpp::Named("p.left.plus1") = n.q_undefined ? NA_REAL : r_value(row.p_left_plus_one),
      Rcpp::Named("p.left.se") = n.q_undefined ? NA_REAL : r_value(row.mc_standard_error),
      Rcpp::Named("p.left.lb") = n.q_undefined ? NA_REAL : r_value(row.ci_lower),
      Rcpp::Named("p.left.ub") = n.q_undefined ? NA_REAL : r_value(row.ci_upper));
  return Rcpp::List::create(Rcpp::Named("status") = 0, Rcpp::Named("message") = std::string(),
                            Rcpp::Named("observed") = observed, Rcpp::Named("simulation") = simulation,
                            Rcpp::Named("studies") = studies, Rcpp::Named("qsim") = simulated);
}

// The rows of a batch as the columns of `oskev analyse -f csv`, named by its header; a failed
// row has NA in every result column, as the command leaves those cells empty.
Rcpp::List columns(const std::vector<oskev::analysis::ReportRow>& rows) {
  using Row = oskev::analysis::ReportRow;
  const auto size = static_cast<R_xlen_t>(rows.size());
  auto text = [&](auto field) {
    Rcpp::CharacterVector out(size);
    for (R_xlen_t i = 0; i < size; ++i) out[i] = field(rows[i]);
    return out;
  };
  auto number = [&](auto field, bool result) {
    Rcpp::NumericVector out(size);
    for (R_xlen_t i = 0; i < size; ++i) {
      out[i] = result && rows[i].status != "ok" ? NA_REAL : r_value(static_cast<double>(field(rows[i])));
    }
    return out;
  };
  Rcpp::CharacterVector rule = text([](const Row& r) { return r.rule; });
  Rcpp::NumericVector stop_after(size, NA_REAL);
  for (R_xlen_t i = 0; i < size; ++i) {
    if (rows[i].status != "ok") rule[i] = NA_STRING;
    if (rows[i].stop_after) stop_after[i] = static_cast<double>(*rows[i].stop_after);
  }
  // The single-precision values are widened exactly (r_value of a float).
  Rcpp::List settings = Rcpp::List::create(
      Rcpp::Named("source") = text([](const Row& r) { return r.source; }),
      Rcpp::Named("name") = text([](const Row& r) { return r.name; }),
      Rcpp::Named("status") = text([](const Row& r) { return r.status; }),
      Rcpp::Named("message") = text([](const Row& r) { return r.message; }),
      Rcpp::Named("studies") = number([](const Row& r) { return r.studies; }, false),
      Rcpp::Named(glue::kColumnType) = number([](const Row& r) { return r.iopt; }, false),
      Rcpp::Named(glue::kColumnCcOne) = number([](const Row& r) { return widen(r.ccone); }, false),
      Rcpp::Named(glue::kColumnCcBoth) = number([](const Row& r) { return widen(r.ccboth); }, false),
      Rcpp::Named("seed") = number([](const Row& r) { return r.seed; }, false),
      Rcpp::Named("max_runs") = number([](const Row& r) { return r.max_runs; }, false),
      Rcpp::Named("stop_after") = stop_after);
  Rcpp::List results = Rcpp::List::create(
      Rcpp::Named("rrmh") = number([](const Row& r) { return widen(r.rrmh); }, true),
      Rcpp::Named("rrmh_lower") = number([](const Row& r) { return widen(r.rrmh_lower); }, true),
      Rcpp::Named("rrmh_upper") = number([](const Row& r) { return widen(r.rrmh_upper); }, true),
      Rcpp::Named("q") = number([](const Row& r) { return widen(r.q); }, true),
      Rcpp::Named("df") = number([](const Row& r) { return r.df; }, true),
      Rcpp::Named("i_squared") = number([](const Row& r) { return r.i_squared; }, true),
      Rcpp::Named("p_asymptotic") = number([](const Row& r) { return r.p_asymptotic; }, true));
  Rcpp::List simulation = Rcpp::List::create(
      Rcpp::Named("runs") = number([](const Row& r) { return r.runs; }, true),
      Rcpp::Named("not_above") = number([](const Row& r) { return r.not_above; }, true),
      Rcpp::Named("undefined") = number([](const Row& r) { return r.undefined; }, true),
      Rcpp::Named("p_left") = number([](const Row& r) { return widen(r.p_left); }, true),
      Rcpp::Named("p_left_plus_one") = number([](const Row& r) { return r.p_left_plus_one; }, true),
      Rcpp::Named("mc_standard_error") = number([](const Row& r) { return r.mc_standard_error; }, true),
      Rcpp::Named("ci_lower") = number([](const Row& r) { return r.ci_lower; }, true),
      Rcpp::Named("ci_upper") = number([](const Row& r) { return r.ci_upper; }, true),
      Rcpp::Named("rule") = rule);
  return Rcpp::List::create(Rcpp::Named("settings") = settings, Rcpp::Named("results") = results,
                            Rcpp::Named("simulation") = simulation);
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
    if (analysis.status != 0) return failure(analysis.status, analysis.message);
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
    const auto rows = run_interruptible(cancel, [&] {
      return glue::analyse_batch(groups, group_names, source, request, static_cast<unsigned>(jobs), cancel);
    });
    return columns(rows);
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
