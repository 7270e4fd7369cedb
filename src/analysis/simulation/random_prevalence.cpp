// Random prevalence of total events: every run first draws the study's total events from its
// pooled proportion, derives the arm probabilities from that total (redrawing totals that
// give a probability outside (0, 1]), then draws both arms. Zero cells are corrected with the
// entered corrections.

#include "analysis/simulation/random_prevalence.hpp"

#include <algorithm>
#include <string>

namespace oskev::analysis::random_prevalence {

// ---- Stage 1 ----------------------------------------------------------------------------------

ArmProbabilities arm_probabilities(std::int32_t nevt, float rrmh, float s1, float s2, ZeroTest zero_test) {
  ArmProbabilities a;
  a.parm2 = static_cast<float>(nevt / (double{rrmh} * s1 + s2));
  a.parm1 = static_cast<float>(double{rrmh} * a.parm2);
  // Tested in this order.
  const bool redrawn = a.parm2 > 1.0f || a.parm1 > 1.0f ||
                       (zero_test == ZeroTest::kAtMostZero ? (a.parm2 <= 0.0f || a.parm1 <= 0.0f)
                                                      : (a.parm2 == 0.0f || a.parm1 == 0.0f));
  a.accepted = !redrawn;
  return a;
}

// ---- Stage 2 ----------------------------------------------------------------------------------

namespace {

// Runs read ahead on the private stream: at first, and at most.
constexpr std::size_t kFirstAhead = 64;
constexpr std::size_t kMostAhead = 1024;

// NPOOL of every study. Refuses, before any draw, a study that the model can never simulate.
std::vector<std::int32_t> pooled_sizes(const StudyTable& table) {
  std::vector<std::int32_t> npool(table.size());
  for (std::size_t i = 0; i < table.size(); ++i) {
    const auto& raw = table.NCOUNT[i];
    const auto& c = table.COUNT[i];
    const long long pooled = static_cast<long long>(raw[kSubjects1]) + raw[kSubjects2];
    if (pooled > 2147483647LL) {
      refuse(study_label(i) + " cannot be simulated under random prevalence of total events: its " +
             std::to_string(pooled) + " participants exceed the generator's limit of 2147483647");
    }
    // No total can then be accepted: the program would redraw for ever.
    if (static_cast<double>(pooled) <= double{c[kEvents1]} + c[kEvents2]) {
      refuse(study_label(i) + " cannot be simulated under random prevalence of total events: its " +
             std::to_string(pooled) + " participants do not exceed its corrected events");
    }
    npool[i] = static_cast<std::int32_t>(pooled);
  }
  return npool;
}

// PPOOL: the study's pooled corrected event proportion.
float pooled_proportion(const std::array<float, 4>& c) {
  return static_cast<float>((double{c[kEvents1]} + c[kEvents2]) / (double{c[kSubjects1]} + c[kSubjects2]));
}

}  // namespace

PlanReader::PlanReader(ZeroTest zero_test, const StudyTable& table, float rrmh, Generators& generators,
                       errors::ErrorService& errors, const RedrawLimits& limits)
    : zero_test_(zero_test), table_(table), rrmh_(rrmh), generators_(generators), errors_(errors), limits_(limits),
      npool_(pooled_sizes(table)), ahead_(kFirstAhead) {}

std::size_t PlanReader::read_ahead(std::size_t i, std::size_t runs) {
  const std::size_t b = std::min(ahead_, runs);
  uniforms_.resize(3 * b);
  saved_.resize(3 * b);
  generators_.peek_GETUNI(3 * b, uniforms_.data(), saved_.data());
  const float ppool = pooled_proportion(table_.COUNT[i]);
  totals_.resize(b);
  for (std::size_t j = 0; j < b; ++j) totals_[j] = {npool_[i], ppool, seed_from_uniform(uniforms_[3 * j]), 0};
  totals_worker_.draw_singles(totals_);
  return b;
}

void PlanReader::count_redraw(std::size_t i, std::size_t k, long& in_run) {
  if (++in_run == limits_.per_run) {
    refuse(study_label(i) + ", run " + std::to_string(k + 1) + ": no acceptable total of events in " +
           std::to_string(limits_.per_run) + " draws under random prevalence of total events");
  }
  if (++all_redraws_ == limits_.in_all) {
    refuse(study_label(i) + ", run " + std::to_string(k + 1) + ": " + std::to_string(limits_.in_all) +
           " totals of events redrawn in all under random prevalence of total events; the studies leave "
           "too few acceptable totals");
  }
}

void PlanReader::read(std::size_t i, std::size_t first, std::size_t last, std::vector<PlannedRun>* plan) {
  const auto& raw = table_.NCOUNT[i];
  const auto& c = table_.COUNT[i];
  const std::int32_t s1 = raw[kSubjects1], s2 = raw[kSubjects2];
  const std::int32_t npool = npool_[i];
  const float ppool = pooled_proportion(c);
  // A total RNBIN refuses (a proportion of no events): it stops the run at the first run's
  // total, where the program stops.
  if (!random::binomial_arguments_valid(1, npool, ppool)) {
    const std::int32_t seed = generators_.next_seed();
    check_draw(npool, ppool, 1, seed, {i, 0, static_cast<std::int64_t>(first), rrmh_}, errors_);
  }

  long in_run = 0;  // totals of the current run redrawn so far
  for (std::size_t k = first; k < last;) {
    const std::size_t ahead = read_ahead(i, last - k);
    bool redrawn = false;
    for (std::size_t j = 0; j < ahead; ++j) {
      // The total.
      generators_.take_GETUNI(uniforms_[3 * j], saved_[3 * j]);
      generators_.note_GETBIN(npool, ppool, 1, totals_[j].seed);
      // Its arm probabilities, and whether it is kept. The values read ahead after a redrawn
      // total shift by one: they are read again.
      const std::int32_t nevt = totals_[j].variate;
      const ArmProbabilities a = arm_probabilities(nevt, rrmh_, c[kSubjects1], c[kSubjects2], zero_test_);
      redrawn = !a.accepted;
      if (redrawn) {
        count_redraw(i, k, in_run);
        break;
      }
      in_run = 0;
      // The arms, each from a seed of its own.
      const std::int32_t seed1 = seed_from_uniform(uniforms_[3 * j + 1]);
      const std::int32_t seed2 = seed_from_uniform(uniforms_[3 * j + 2]);
      // Each arm's draw checked once, here; where it is made it is not checked again.
      generators_.take_GETUNI(uniforms_[3 * j + 1], saved_[3 * j + 1]);
      if (!random::binomial_arguments_valid(1, s1, a.parm1)) [[unlikely]] {
        refuse_draw(s1, a.parm1, 1, seed1, {i, 1, static_cast<std::int64_t>(k), rrmh_}, errors_);
      }
      generators_.note_GETBIN(s1, a.parm1, 1, seed1);
      generators_.take_GETUNI(uniforms_[3 * j + 2], saved_[3 * j + 2]);
      if (!random::binomial_arguments_valid(1, s2, a.parm2)) [[unlikely]] {
        refuse_draw(s2, a.parm2, 1, seed2, {i, 2, static_cast<std::int64_t>(k), rrmh_}, errors_);
      }
      generators_.note_GETBIN(s2, a.parm2, 1, seed2);
      if (plan != nullptr) plan->push_back({nevt, a.parm1, a.parm2, seed1, seed2});
      ++k;
    }
    ahead_ = redrawn ? std::max<std::size_t>(ahead_ / 4, 4) : std::min<std::size_t>(ahead_ * 2, kMostAhead);
  }
}

}  // namespace oskev::analysis::random_prevalence
