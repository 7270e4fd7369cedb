#include "analysis/simulation/run_statistics.hpp"

#include <array>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "random/draw_pool.hpp"

namespace oskev::analysis {

namespace {

constexpr std::size_t kBlock = 2048;
struct NoState {};

// Arms of at most this many subjects have the terms of their uncorrected tables tabulated.
constexpr std::int32_t kTabulatedArm = 2048;

// One arm's Mantel-Haenszel term: its events times the other arm's size, over NTOTS.
inline double mh_term(float events, float other_size, double ntots) {
  return double{events} * other_size / ntots;
}

// The terms of a study's uncorrected tables (both arms with events) that depend on one arm's
// count alone, formed once per count with exactly the operations of the table's own
// evaluation: a study's runs take only a few hundred distinct counts per arm.
struct StudyTerms {
  bool tabulated = false;
  std::vector<double> mh1, mh2;  // count·(other arm's size)/NTOTS, arm 1 and arm 2

  StudyTerms(const SimulatedStudy& study, std::size_t runs) {
    const float s1 = study.raw_s1, s2 = study.raw_s2;
    // Worth it only when the runs outnumber the counts.
    if (s1 > kTabulatedArm || s2 > kTabulatedArm || double{s1} + s2 > static_cast<double>(runs)) return;
    tabulated = true;
    const double ntots = std::trunc(double{s1} + s2);
    const auto fill = [ntots](float size, float other, std::vector<double>& mh) {
      const auto last = static_cast<std::int32_t>(size);
      mh.resize(static_cast<std::size_t>(last) + 1);
      for (std::int32_t count = 1; count <= last; ++count) {
        mh[static_cast<std::size_t>(count)] = mh_term(static_cast<float>(count), other, ntots);
      }
    };
    fill(s1, s2, mh1);
    fill(s2, s1, mh2);
  }
};

// Runs first ... first + count - 1: the Mantel-Haenszel sums over the studies, in order, and
// the logarithm of each run's summary, rounded to single precision (the study's is not).
void summary_logs(const std::vector<SimulatedStudy>& studies, const std::vector<StudyTerms>& terms,
                  std::size_t first, std::size_t count, float* log_rrmhs) {
  std::array<float, kBlock> sumas{}, sumcs{};
  for (std::size_t i = 0; i < studies.size(); ++i) {
    const SimulatedStudy& study = studies[i];
    const StudyTerms& z = terms[i];
    for (std::size_t b = 0; b < count; ++b) {
      const std::int32_t a = study.arm1.get(first + b), c = study.arm2.get(first + b);
      double term_a = 0.0, term_c = 0.0;
      if (z.tabulated && a > 0 && c > 0) {
        term_a = z.mh1[static_cast<std::size_t>(a)];
        term_c = z.mh2[static_cast<std::size_t>(c)];
      } else {
        const SimulatedTable t = study.table(first + b);
        const double ntots = std::trunc(double{t.s1} + t.s2);
        term_a = mh_term(t.a, t.s2, ntots);
        term_c = mh_term(t.c, t.s1, ntots);
      }
      sumas[b] = static_cast<float>(sumas[b] + term_a);
      sumcs[b] = static_cast<float>(sumcs[b] + term_c);
    }
  }
  for (std::size_t b = 0; b < count; ++b) {
    const float rrmhs = static_cast<float>(double{sumas[b]} / sumcs[b]);
    log_rrmhs[b] = static_cast<float>(std::log(double{rrmhs}));
  }
}

// A table's contribution to Q apart from the summary: its log risk ratio and its weight.
struct TableTerms {
  double log_rrsim;
  float weight;
};

TableTerms table_terms(const SimulatedTable& t) {
  const float rrsim = static_cast<float>((double{t.a} * t.s2) / (double{t.s1} * t.c));
  const float vlogrs = static_cast<float>(1.0 / t.c + 1.0 / t.a - 1.0 / t.s1 - 1.0 / t.s2);
  return {std::log(double{rrsim}), static_cast<float>(1.0 / vlogrs)};
}

// The terms of a study's uncorrected tables by their pair of counts, formed when a pair first
// comes up: over many runs the same few thousand pairs come back again and again, and each
// costs a logarithm and four divisions.
class PairTerms {
 public:
  // Covers the pairs of counts of the runs first ... first + count - 1 of `study`, if few
  // enough to be worth it; false otherwise.
  bool cover(const SimulatedStudy& study, std::size_t first, std::size_t count) {
    std::int32_t lo1 = std::numeric_limits<std::int32_t>::max(), hi1 = 0;
    std::int32_t lo2 = lo1, hi2 = 0;
    for (std::size_t k = first; k < first + count; ++k) {
      const std::int32_t a = study.arm1.get(k), c = study.arm2.get(k);
      lo1 = std::min(lo1, a);
      hi1 = std::max(hi1, a);
      lo2 = std::min(lo2, c);
      hi2 = std::max(hi2, c);
    }
    const auto cells = (static_cast<std::size_t>(hi1 - lo1) + 1) * (static_cast<std::size_t>(hi2 - lo2) + 1);
    if (count == 0 || cells > kMaxCells || cells > count) return false;
    lo1_ = lo1;
    lo2_ = lo2;
    width_ = static_cast<std::size_t>(hi2 - lo2) + 1;
    terms_.assign(cells, TableTerms{std::numeric_limits<double>::quiet_NaN(), 0.0f});
    return true;
  }

  // For counts a, c > 0 of a covered run.
  TableTerms get(const SimulatedStudy& study, std::int32_t a, std::int32_t c) {
    TableTerms& cell = terms_[static_cast<std::size_t>(a - lo1_) * width_ + static_cast<std::size_t>(c - lo2_)];
    if (std::isnan(cell.log_rrsim)) [[unlikely]] {
      cell = table_terms({static_cast<float>(a), static_cast<float>(c), study.raw_s1, study.raw_s2});
    }
    return cell;
  }

 private:
  static constexpr std::size_t kMaxCells = 1 << 16;
  std::int32_t lo1_ = 0, lo2_ = 0;
  std::size_t width_ = 0;
  std::vector<TableTerms> terms_;
};

// QSIM of runs first ... first + count - 1, study by study.
void run_q(const std::vector<SimulatedStudy>& studies, const std::vector<StudyTerms>& terms,
           const float* log_rrmhs, std::size_t first, std::size_t count, float* qsim) {
  std::fill(qsim, qsim + count, 0.0f);
  PairTerms pairs;
  for (std::size_t i = 0; i < studies.size(); ++i) {
    const SimulatedStudy& study = studies[i];
    const bool by_pair = terms[i].tabulated && pairs.cover(study, first, count);
    for (std::size_t b = 0; b < count; ++b) {
      const std::int32_t a = study.arm1.get(first + b), c = study.arm2.get(first + b);
      const TableTerms z = by_pair && a > 0 && c > 0 ? pairs.get(study, a, c) : table_terms(study.table(first + b));
      const double d = z.log_rrsim - log_rrmhs[b];
      const float d_single = static_cast<float>(d);
      qsim[b] = static_cast<float>(qsim[b] + double{d_single} * d * z.weight);
    }
  }
}

}  // namespace

std::vector<float> run_statistics(const std::vector<SimulatedStudy>& studies, std::size_t runs, bool may_spread) {
  std::vector<StudyTerms> terms;
  terms.reserve(studies.size());
  for (const SimulatedStudy& study : studies) terms.emplace_back(study, runs);

  std::vector<float> log_rrmhs(runs);
  const std::size_t blocks = (runs + kBlock - 1) / kBlock;
  const bool spread = may_spread && random::worth_spreading(runs * studies.size());
  random::parallel_for<NoState>(
      blocks,
      [&](NoState&, std::size_t block) {
        const std::size_t first = block * kBlock;
        summary_logs(studies, terms, first, std::min(kBlock, runs - first), log_rrmhs.data() + first);
      },
      spread);

  // Q in one large share of the runs per thread, so that each study's pairs of counts recur
  // often within a share.
  std::vector<float> qsim(runs, 0.0f);
  const std::size_t shares = spread ? std::size_t{random::helper_threads()} + 1 : 1;
  const std::size_t per_share = (runs + shares - 1) / shares;
  random::parallel_for<NoState>(
      shares,
      [&](NoState&, std::size_t share) {
        const std::size_t first = std::min(runs, share * per_share);
        const std::size_t count = std::min(per_share, runs - first);
        run_q(studies, terms, log_rrmhs.data() + first, first, count, qsim.data() + first);
      },
      spread);
  return qsim;
}

}  // namespace oskev::analysis
