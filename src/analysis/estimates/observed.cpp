#include "analysis/estimates/observed.hpp"

#include <cmath>

#include "probability/chi_squared.hpp"

namespace oskev::analysis {

void compute_summary(const StudyTable& table, ObservedStatistics& observed) {
  float suma = 0.0f;
  float sumc = 0.0f;
  for (std::size_t i = 0; i < table.size(); ++i) {
    const auto& c = table.COUNT[i];
    // The products are not rounded to single precision before the division by NTOT.
    suma = static_cast<float>(suma + double{c[kEvents1]} * c[kSubjects2] / table.NTOT[i]);
    sumc = static_cast<float>(sumc + double{c[kEvents2]} * c[kSubjects1] / table.NTOT[i]);
  }
  observed.SUMA = suma;
  observed.SUMC = sumc;
  observed.RRMH = static_cast<float>(double{suma} / sumc);
}

void compute_heterogeneity(const StudyTable& table, std::int32_t nstudy, ObservedStatistics& observed,
                           probability::SpecialFunctions& special) {
  const double log_rrmh = std::log(double{observed.RRMH});
  float q = 0.0f;
  for (std::size_t i = 0; i < table.size(); ++i) {
    // The study's log risk ratio is rounded to single before the subtraction; the first
    // factor of the square is rounded again, the second is used at full precision.
    const double d = static_cast<float>(std::log(double{table.RR[i]})) - log_rrmh;
    const float d_single = static_cast<float>(d);
    q = static_cast<float>(q + double{table.WEIGHT[i]} * d_single * d);
  }
  observed.Q = q;
  // Formed in double: in 32 bits the least count of studies minus one would wrap round to the
  // largest, and the distribution would accept it.
  observed.DF = static_cast<double>(nstudy) - 1.0;
  observed.PASYM = 1.0 - probability::DCHIDF(double{observed.Q}, observed.DF, special);
}

void estimate(const StudyTable& table, std::int32_t nstudy, ObservedStatistics& observed,
              probability::SpecialFunctions& special) {
  compute_summary(table, observed);
  compute_heterogeneity(table, nstudy, observed, special);
}

}  // namespace oskev::analysis
