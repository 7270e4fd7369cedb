#include "analysis/estimates/study_table.hpp"

#include <cmath>
#include <string>

#include "errors/run_stopped.hpp"

namespace oskev::analysis {

namespace {

// The 97.5% point of the standard normal distribution, held in single precision.
constexpr float kNormal975 = 1.96f;

void convert_counts(StudyTable& table) {
  table.COUNT = counts_as_read(table);
}

void apply_continuity_corrections(StudyTable& table, float ccone, float ccboth) {
  for (std::size_t i = 0; i < table.size(); ++i) {
    const auto& raw = table.NCOUNT[i];
    const std::int32_t e1 = raw[kEvents1];
    const std::int32_t e2 = raw[kEvents2];
    float correction;
    if ((e1 == 0 && e2 > 0) || (e1 > 0 && e2 == 0)) {
      correction = ccone;
    } else if (e1 == 0 && e2 == 0) {
      correction = ccboth;
    } else {
      continue;
    }
    // The correction goes to the events and to the non-events of both arms.
    const double c = correction;
    auto& count = table.COUNT[i];
    count[kEvents1] = static_cast<float>(e1 + c);
    count[kEvents2] = static_cast<float>(e2 + c);
    count[kSubjects1] = static_cast<float>(raw[kSubjects1] + 2.0 * c);
    count[kSubjects2] = static_cast<float>(raw[kSubjects2] + 2.0 * c);
  }
}

void compute_risk_ratios(StudyTable& table) {
  const std::size_t n = table.size();
  table.PRODA.resize(n);
  table.PRODC.resize(n);
  table.RR.resize(n);
  for (std::size_t i = 0; i < n; ++i) {
    const auto& c = table.COUNT[i];
    table.PRODA[i] = static_cast<float>(double{c[kEvents1]} * c[kSubjects2]);
    table.PRODC[i] = static_cast<float>(double{c[kEvents2]} * c[kSubjects1]);
    table.RR[i] = static_cast<float>(double{table.PRODA[i]} / table.PRODC[i]);
  }
}

void compute_study_sizes(StudyTable& table) {
  const std::size_t n = table.size();
  table.NTOT.resize(n);
  for (std::size_t i = 0; i < n; ++i) {
    const auto& c = table.COUNT[i];
    table.NTOT[i] = std::trunc(double{c[kSubjects1]} + c[kSubjects2]);
  }
}

void compute_limits(StudyTable& table) {
  const std::size_t n = table.size();
  table.VLOGRR.resize(n);
  table.WEIGHT.resize(n);
  table.SELOGRR.resize(n);
  table.RRLL.resize(n);
  table.RRUL.resize(n);
  for (std::size_t i = 0; i < n; ++i) {
    const auto& c = table.COUNT[i];
    const double e1 = c[kEvents1], s1 = c[kSubjects1], e2 = c[kEvents2], s2 = c[kSubjects2];
    table.VLOGRR[i] = static_cast<float>(((1.0 / e2 + 1.0 / e1) - 1.0 / s1) - 1.0 / s2);
    table.WEIGHT[i] = static_cast<float>(1.0 / table.VLOGRR[i]);
    table.SELOGRR[i] = static_cast<float>(std::sqrt(double{table.VLOGRR[i]}));
    const float h = static_cast<float>(double{kNormal975} * table.SELOGRR[i]);
    const double log_rr = std::log(double{table.RR[i]});
    table.RRLL[i] = static_cast<float>(std::exp(log_rr - h));
    table.RRUL[i] = static_cast<float>(std::exp(log_rr + h));
  }
}

}  // namespace

void check_study_counts(std::span<const Study> studies) {
  for (std::size_t i = 0; i < studies.size(); ++i) {
    const std::array<std::int32_t, 4> raw = {studies[i].e1, studies[i].s1, studies[i].e2, studies[i].s2};
    for (std::size_t arm = 0; arm < 2; ++arm) {
      const std::int32_t events = raw[2 * arm];
      const std::int32_t subjects = raw[2 * arm + 1];
      const std::string where = "study " + std::to_string(i + 1) + " cannot be analysed: arm " + std::to_string(arm + 1);
      if (events < 0 || subjects < 0) {
        throw errors::RunStopped(errors::kExitRefused, where + " has a negative count (" + std::to_string(events) +
                                                           " events, " + std::to_string(subjects) + " subjects)");
      }
      if (events > subjects) {
        throw errors::RunStopped(errors::kExitRefused, where + " has " + std::to_string(events) +
                                                           " events but only " + std::to_string(subjects) +
                                                           " subjects");
      }
    }
  }
}

std::vector<std::array<float, 4>> counts_as_read(const StudyTable& table) {
  std::vector<std::array<float, 4>> rows(table.size());
  for (std::size_t i = 0; i < table.size(); ++i) {
    for (std::size_t j = 0; j < 4; ++j) rows[i][j] = static_cast<float>(table.NCOUNT[i][j]);
  }
  return rows;
}

StudyTable make_study_table(std::span<const Study> studies, float ccone, float ccboth) {
  StudyTable table;
  table.NCOUNT.reserve(studies.size());
  for (const Study& s : studies) table.NCOUNT.push_back({s.e1, s.s1, s.e2, s.s2});
  convert_counts(table);
  apply_continuity_corrections(table, ccone, ccboth);
  compute_risk_ratios(table);
  compute_study_sizes(table);
  compute_limits(table);
  return table;
}

}  // namespace oskev::analysis
