#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <iterator>
#include <string>
#include <sstream>

#include "analysis/estimates/observed.hpp"
#include "analysis/program/report.hpp"
#include "errors/error_service.hpp"
#include "probability/chi_squared.hpp"
#include "support/library_bundle.hpp"
#include "support/studies.hpp"

namespace oskev::analysis {
namespace {

struct Observed {
  testing::LibraryBundle library;
  StudyTable table;
  ObservedStatistics statistics;

  Observed(const std::string& text, std::int32_t nstudy, float ccone = 0.5f, float ccboth = 0.5f) {
    table = make_study_table(testing::read_studies(text, nstudy), ccone, ccboth);
    compute_summary(table, statistics);
    compute_heterogeneity(table, nstudy, statistics, library.special);
  }
};

TEST(ObservedStatistics, IdenticalStudiesAreHomogeneous) {
  Observed even("10 100 10 100\n10 100 10 100\n", 2);
  EXPECT_EQ(even.statistics.Q, 0.0f);
  EXPECT_EQ(even.statistics.DF, 1.0);
  EXPECT_EQ(even.statistics.PASYM, 1.0);
  // The study's log risk ratio is rounded to single precision and the summary's is not, so
  // Q keeps that rounding (about 1e-13 here); the P-value is still exactly 1, since the
  // chi-squared distribution is 0 at or below 1e-12.
  Observed o("12 100 20 110\n12 100 20 110\n", 2);
  EXPECT_LT(o.statistics.Q, 1e-12f);
  EXPECT_EQ(o.statistics.PASYM, 1.0);
}

TEST(ObservedStatistics, OppositeStudies) {
  Observed o("10 100 20 100\n20 100 10 100\n", 2);
  EXPECT_EQ(o.table.NTOT[0], 200.0);
  EXPECT_EQ(o.statistics.SUMA, 15.0f);
  EXPECT_EQ(o.statistics.SUMC, 15.0f);
  EXPECT_EQ(o.statistics.RRMH, 1.0f);
  EXPECT_EQ(o.table.VLOGRR[0], 0.13f);
  EXPECT_NEAR(o.statistics.Q, 2 * std::log(2.0) * std::log(2.0) / 0.13, 1e-5);  // 7.39
  EXPECT_EQ(o.statistics.DF, 1.0);
  EXPECT_NEAR(o.statistics.PASYM, std::erfc(std::sqrt(o.statistics.Q / 2.0)), 1e-13);
}

TEST(ObservedStatistics, TruncatedSizesDivideTheSums) {
  // Sizes 10.2 and 10.2 count as 20 in the sums.
  Observed o("0 10 3 10\n5 10 5 10\n", 2, 0.1f, 0.1f);
  EXPECT_EQ(o.table.NTOT[0], 20.0);
  const auto& c = o.table.COUNT[0];
  const float first = static_cast<float>(0.0f + double{c[0]} * c[3] / 20.0);
  EXPECT_EQ(o.statistics.SUMA, static_cast<float>(first + 5.0 * 10.0 / 20.0));
}

TEST(ObservedStatistics, OneStudyIsRefusedByTheChiSquaredDistribution) {
  EXPECT_THROW(Observed("10 100 20 100\n", 1), errors::RunStopped);
}

// The least 32-bit count minus one must not wrap round to the largest: the degrees of freedom
// are formed in double, so the distribution sees -2147483649 and refuses it as it does -1.
TEST(ObservedStatistics, TheLeastCountOfStudiesIsRefusedNotWrapped) {
  for (const std::int32_t nstudy : {0, -5, -2147483647 - 1}) {
    try {
      Observed o("1 10 2 10\n", nstudy);
      ADD_FAILURE() << nstudy << " studies were accepted, DF = " << o.statistics.DF;
    } catch (const errors::RunStopped&) {
    }
  }
  StudyTable none;
  ObservedStatistics statistics;
  std::ostringstream console;
  errors::ErrorService errors{console};
  probability::SpecialFunctions special{errors};
  EXPECT_THROW(compute_heterogeneity(none, -2147483647 - 1, statistics, special), errors::RunStopped);
  EXPECT_EQ(statistics.DF, -2147483649.0);
  EXPECT_NE(console.str().find("DF = -2.147483649000000D+09"), std::string::npos) << console.str();
}

TEST(ObservedStatistics, NonFiniteValuesPassThroughWithoutFailing) {
  Observed o("5 10 0 10\n4 12 6 11\n", 2, 0.0f, 0.0f);
  EXPECT_TRUE(std::isinf(o.table.RR[0]));
  EXPECT_TRUE(std::isnan(o.statistics.Q));
  EXPECT_TRUE(std::isnan(o.statistics.PASYM));
  EXPECT_EQ(o.library.written(), "");
}

TEST(ObservedStatistics, OskevRecords) {
  Observed o("15 120 25 118\n0 54 3 60\n0 40 0 38\n", 3);
  std::ostringstream out;
  records::ListWriter console(out);
  print_observed(console, o.statistics);
  EXPECT_EQ(out.str(), " RRMHobs=  0.5470545    \n  \n Qobs=  0.8231456    \n  \n");
  EXPECT_EQ(o.statistics.PASYM, 1.0 - probability::DCHIDF(double{o.statistics.Q}, 2.0, o.library.special));
}

// Published values for the BCG vaccine trials (Colditz et al. 1994; the bundled example, 13
// trials, no zero cells): metafor 3.8.1, rma.mh(measure = "RR"), gives RRMH = 0.6352671851
// and Cochran's Q around the Mantel-Haenszel estimate, QE = 152.5675536 on 12 degrees of
// freedom. The program works in single precision, so they agree to its last digits.
TEST(ObservedStatistics, BcgTrialsAgreeWithMetafor) {
  std::ifstream file(std::string(OSKEV_TEST_DATA_DIR) + "/runs/bcg-oskev/study.txt");
  ASSERT_TRUE(file) << "the BCG example's study.txt";
  const std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  Observed bcg(text, 13);
  EXPECT_NEAR(bcg.statistics.RRMH, 0.6352671851, 0.6352671851 * 2e-7);
  EXPECT_NEAR(bcg.statistics.Q, 152.5675536, 152.5675536 * 2e-6);
  EXPECT_EQ(bcg.statistics.DF, 12.0);
  EXPECT_LT(bcg.statistics.PASYM, 1e-20);
}

}  // namespace
}  // namespace oskev::analysis
