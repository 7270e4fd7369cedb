#include "analysis/simulation.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <string>

#include "errors/run_stopped.hpp"

namespace oskev::analysis {

std::int32_t seed_from_uniform(float ru) { return std::bit_cast<std::int32_t>(ru); }

void Generators::GETUNI(float& r) {
  std::int32_t nout = 0;
  errors_.UMACH(2, nout);
  stream_.SEEDSET(ISAVE_);
  stream_.RNUN(1, &r);
  stream_.SEEDGET(ISAVE_);
  stream_.SEEDSET(ISAVE_);
  stream_.RNUN(1, &r);
}

void Generators::GETBIN(std::int32_t n, float p, std::int32_t* ir, std::int32_t nr, std::int32_t iseed) {
  std::int32_t nout = 0;
  errors_.UMACH(2, nout);
  stream_.SEEDSET(iseed);
  random::RNBIN(nr, n, p, ir, stream_, setup_, errors_);
}

namespace {

// Most redraws one run of the random-prevalence model may take before the run is given up.
constexpr long kRedrawLimit = 1'000'000;

// Simulated event counts of one arm over all runs. A count never exceeds the arm's size, so
// 16 bits hold it whenever the arm has at most 65535 subjects.
class CountColumn {
 public:
  void reset(std::int32_t arm_size, std::size_t runs) {
    wide_ = arm_size > 65535;
    if (wide_) {
      wide_values_.assign(runs, 0);
    } else {
      narrow_values_.assign(runs, 0);
    }
  }
  void set(std::size_t k, std::int32_t value) {
    if (wide_) {
      wide_values_[k] = value;
    } else {
      narrow_values_[k] = static_cast<std::uint16_t>(value);
    }
  }
  std::int32_t get(std::size_t k) const { return wide_ ? wide_values_[k] : narrow_values_[k]; }

 private:
  bool wide_ = false;
  std::vector<std::uint16_t> narrow_values_;
  std::vector<std::int32_t> wide_values_;
};

// One simulated table, corrected, with the arm sizes that go with its correction.
struct SimulatedTable {
  float a;   // events, arm 1
  float c;   // events, arm 2
  float s1;  // subjects, arm 1
  float s2;  // subjects, arm 2
};

// A study's simulated tables and how their zero cells are corrected.
struct SimulatedStudy {
  CountColumn arm1;
  CountColumn arm2;
  double add_one = 0.0;   // added to both event counts when exactly one arm has none
  double add_both = 0.0;  // added to both when neither has any
  float raw_s1 = 0.0f, raw_s2 = 0.0f;    // sizes of an uncorrected table: those the draws used
  float one_s1 = 0.0f, one_s2 = 0.0f;    // sizes that go with the one-zero correction
  float both_s1 = 0.0f, both_s2 = 0.0f;  // sizes that go with the both-zero correction

  void prepare(const std::array<std::int32_t, 4>& raw, double one, double both, double one_size,
               double both_size) {
    add_one = one;
    add_both = both;
    raw_s1 = static_cast<float>(raw[kSubjects1]);
    raw_s2 = static_cast<float>(raw[kSubjects2]);
    one_s1 = static_cast<float>(raw[kSubjects1] + one_size);
    one_s2 = static_cast<float>(raw[kSubjects2] + one_size);
    both_s1 = static_cast<float>(raw[kSubjects1] + both_size);
    both_s2 = static_cast<float>(raw[kSubjects2] + both_size);
  }

  SimulatedTable table(std::size_t k) const {
    const std::int32_t a = arm1.get(k);
    const std::int32_t c = arm2.get(k);
    const float sima = static_cast<float>(a);
    const float simc = static_cast<float>(c);
    if ((a == 0) != (c == 0)) {
      return {static_cast<float>(sima + add_one), static_cast<float>(simc + add_one), one_s1, one_s2};
    }
    if (a == 0) {
      return {static_cast<float>(sima + add_both), static_cast<float>(simc + add_both), both_s1, both_s2};
    }
    return {sima, simc, raw_s1, raw_s2};
  }
};

// The Mantel-Haenszel summary and Q of every run, in blocks of runs so that each study's
// counts are read in order. Within a run the studies are always summed in order.
void compute_run_statistics(const std::vector<SimulatedStudy>& studies, std::size_t runs, SimulatedRuns& result) {
  constexpr std::size_t kBlock = 2048;
  result.QSIM.assign(runs, 0.0f);
  std::vector<float> sumas(kBlock), sumcs(kBlock), log_rrmhs(kBlock), qsim(kBlock);
  for (std::size_t first = 0; first < runs; first += kBlock) {
    const std::size_t count = std::min(kBlock, runs - first);
    std::fill_n(sumas.begin(), count, 0.0f);
    std::fill_n(sumcs.begin(), count, 0.0f);
    for (const SimulatedStudy& study : studies) {
      for (std::size_t b = 0; b < count; ++b) {
        const SimulatedTable t = study.table(first + b);
        const double ntots = std::trunc(double{t.s1} + t.s2);
        sumas[b] = static_cast<float>(sumas[b] + double{t.a} * t.s2 / ntots);
        sumcs[b] = static_cast<float>(sumcs[b] + double{t.c} * t.s1 / ntots);
      }
    }
    for (std::size_t b = 0; b < count; ++b) {
      const float rrmhs = static_cast<float>(double{sumas[b]} / sumcs[b]);
      // Here the summary's logarithm is rounded to single precision, the study's is not.
      log_rrmhs[b] = static_cast<float>(std::log(double{rrmhs}));
      qsim[b] = 0.0f;
    }
    for (const SimulatedStudy& study : studies) {
      for (std::size_t b = 0; b < count; ++b) {
        const SimulatedTable t = study.table(first + b);
        const float rrsim = static_cast<float>((double{t.a} * t.s2) / (double{t.s1} * t.c));
        const float vlogrs = static_cast<float>(1.0 / t.c + 1.0 / t.a - 1.0 / t.s1 - 1.0 / t.s2);
        const float weights = static_cast<float>(1.0 / vlogrs);
        const double d = std::log(double{rrsim}) - log_rrmhs[b];
        const float d_single = static_cast<float>(d);
        qsim[b] = static_cast<float>(qsim[b] + double{d_single} * d * weights);
      }
    }
    std::copy_n(qsim.begin(), count, result.QSIM.begin() + static_cast<std::ptrdiff_t>(first));
  }
  result.undefined = static_cast<std::int32_t>(
      std::count_if(result.QSIM.begin(), result.QSIM.end(), [](float q) { return std::isnan(q); }));
}

[[noreturn]] void refuse(const std::string& report) { throw errors::RunStopped(errors::kExitRefused, report); }

std::string study_label(std::size_t i) { return "study " + std::to_string(i + 1); }

// Fixed prevalence of total events: each arm's event probability is fixed once from the
// study's observed events, arm 1's being RRMH times arm 2's; all runs of an arm are drawn in
// one call. Simulated zero cells are corrected with 0.5 (one arm) and 0.1 (both arms).
void simulate_fixed_prevalence(const RunParameters& p, const StudyTable& table, float rrmh,
                               Generators& generators, std::vector<SimulatedStudy>& studies) {
  const std::size_t runs = p.NRUNS > 0 ? static_cast<std::size_t>(p.NRUNS) : 0;
  std::vector<std::int32_t> ira(std::max<std::size_t>(runs, 1)), irc(std::max<std::size_t>(runs, 1));
  for (std::size_t i = 0; i < table.size(); ++i) {
    const auto& raw = table.NCOUNT[i];
    const auto& c = table.COUNT[i];
    const float parm2 = static_cast<float>((double{c[kEvents1]} + c[kEvents2]) /
                                           (double{rrmh} * c[kSubjects1] + c[kSubjects2]));
    const float parm1 = static_cast<float>(double{rrmh} * parm2);
    float ru = 0.0f;
    generators.GETUNI(ru);
    generators.GETBIN(raw[kSubjects1], parm1, ira.data(), p.NRUNS, seed_from_uniform(ru));
    generators.GETUNI(ru);
    generators.GETBIN(raw[kSubjects2], parm2, irc.data(), p.NRUNS, seed_from_uniform(ru));

    SimulatedStudy& study = studies[i];
    study.prepare(raw, double{0.5f}, double{0.1f}, 1.0, double{0.2f});
    study.arm1.reset(raw[kSubjects1], runs);
    study.arm2.reset(raw[kSubjects2], runs);
    for (std::size_t k = 0; k < runs; ++k) {
      study.arm1.set(k, ira[k]);
      study.arm2.set(k, irc[k]);
    }
  }
}

// Random prevalence of total events: every run first draws the study's total events from its
// pooled proportion, derives the arm probabilities from that total (redrawing totals that
// give a probability outside (0, 1]), then draws both arms. Zero cells are corrected with the
// entered corrections at once.
void simulate_random_prevalence(Variant variant, const RunParameters& p, const StudyTable& table, float rrmh,
                                Generators& generators, std::vector<SimulatedStudy>& studies) {
  if (p.NRUNS < 1) {
    refuse("the random prevalence of total events needs at least one run, not " + std::to_string(p.NRUNS));
  }
  const std::size_t runs = static_cast<std::size_t>(p.NRUNS);
  // A study whose participants do not exceed its corrected events never yields an accepted
  // total; and the pooled size must fit the binomial generator's 32-bit count.
  std::vector<std::int32_t> npool(table.size());
  for (std::size_t i = 0; i < table.size(); ++i) {
    const auto& raw = table.NCOUNT[i];
    const auto& c = table.COUNT[i];
    const long long pooled = static_cast<long long>(raw[kSubjects1]) + raw[kSubjects2];
    if (pooled > 2147483647LL) {
      refuse(study_label(i) + " cannot be simulated under random prevalence of total events: its " +
             std::to_string(pooled) + " participants exceed the generator's limit of 2147483647");
    }
    npool[i] = static_cast<std::int32_t>(pooled);
    if (static_cast<double>(pooled) <= double{c[kEvents1]} + c[kEvents2]) {
      refuse(study_label(i) + " cannot be simulated under random prevalence of total events: its " +
             std::to_string(pooled) + " participants do not exceed its corrected events");
    }
  }

  const bool v10 = variant == Variant::kOskevV10;
  for (std::size_t i = 0; i < table.size(); ++i) {
    const auto& raw = table.NCOUNT[i];
    const auto& c = table.COUNT[i];
    const float ppool = static_cast<float>((double{c[kEvents1]} + c[kEvents2]) /
                                           (double{c[kSubjects1]} + c[kSubjects2]));
    const double denominator = double{rrmh} * c[kSubjects1] + c[kSubjects2];
    SimulatedStudy& study = studies[i];
    study.prepare(raw, double{p.CCONE}, double{p.CCBOTH}, 2.0 * p.CCONE, 2.0 * p.CCBOTH);
    study.arm1.reset(raw[kSubjects1], runs);
    study.arm2.reset(raw[kSubjects2], runs);
    for (std::size_t k = 0; k < runs; ++k) {
      float ru = 0.0f;
      float parm1 = 0.0f, parm2 = 0.0f;
      for (long redraws = 0;; ++redraws) {
        if (redraws == kRedrawLimit) {
          refuse(study_label(i) + ", run " + std::to_string(k + 1) + ": no acceptable total of events in " +
                 std::to_string(kRedrawLimit) + " draws under random prevalence of total events");
        }
        std::int32_t nevt = 0;
        generators.GETUNI(ru);
        generators.GETBIN(npool[i], ppool, &nevt, 1, seed_from_uniform(ru));
        parm2 = static_cast<float>(nevt / denominator);
        parm1 = static_cast<float>(double{rrmh} * parm2);
        if (parm2 > 1.0f || parm1 > 1.0f) continue;
        if (v10 ? (parm2 <= 0.0f || parm1 <= 0.0f) : (parm2 == 0.0f || parm1 == 0.0f)) continue;
        break;
      }
      std::int32_t ira = 0, irc = 0;
      generators.GETUNI(ru);
      generators.GETBIN(raw[kSubjects1], parm1, &ira, 1, seed_from_uniform(ru));
      generators.GETUNI(ru);
      generators.GETBIN(raw[kSubjects2], parm2, &irc, 1, seed_from_uniform(ru));
      study.arm1.set(k, ira);
      study.arm2.set(k, irc);
    }
  }
}

}  // namespace

SimulatedRuns simulate(Variant variant, const RunParameters& parameters, const StudyTable& table, float rrmh,
                       Generators& generators) {
  std::vector<SimulatedStudy> studies(table.size());
  if (parameters.IOPT == 1) {
    simulate_fixed_prevalence(parameters, table, rrmh, generators, studies);
  } else {
    simulate_random_prevalence(variant, parameters, table, rrmh, generators, studies);
  }
  SimulatedRuns result;
  compute_run_statistics(studies, parameters.NRUNS > 0 ? static_cast<std::size_t>(parameters.NRUNS) : 0, result);
  return result;
}

}  // namespace oskev::analysis
