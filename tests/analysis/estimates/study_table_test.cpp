#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "analysis/program/report.hpp"
#include "analysis/estimates/study_table.hpp"
#include "support/studies.hpp"

namespace oskev::analysis {
namespace {

StudyTable table_of(const std::string& text, std::int32_t nstudy) {
  return make_study_table(testing::read_studies(text, nstudy), 0.0f, 0.0f);
}

StudyTable estimated(const std::string& text, std::int32_t nstudy, float ccone, float ccboth) {
  return make_study_table(testing::read_studies(text, nstudy), ccone, ccboth);
}

using Row = std::array<float, 4>;

TEST(ContinuityCorrections, ZeroEventsInOneArm) {
  const StudyTable t = estimated("0 10 5 10\n", 1, 0.5f, 0.25f);
  EXPECT_EQ(t.COUNT[0], (Row{0.5f, 11.0f, 5.5f, 11.0f}));
  EXPECT_EQ(t.RR[0], static_cast<float>(0.5 * 11 / (5.5 * 11)));  // 0.0909091
  EXPECT_EQ(t.NTOT[0], 22.0);
  // The arm with events is corrected too.
  EXPECT_EQ(estimated("4 10 0 12\n", 1, 0.5f, 0.25f).COUNT[0], (Row{4.5f, 11.0f, 0.5f, 13.0f}));
}

TEST(ContinuityCorrections, ZeroEventsInBothArmsUseTheirOwnCorrection) {
  const StudyTable t = estimated("0 10 0 12\n", 1, 0.3f, 0.5f);
  EXPECT_EQ(t.COUNT[0], (Row{0.5f, 11.0f, 0.5f, 13.0f}));
  EXPECT_EQ(t.RR[0], 13.0f / 11.0f);
}

TEST(ContinuityCorrections, OtherStudiesKeepTheirCounts) {
  EXPECT_EQ(estimated("3 10 6 10\n", 1, 0.5f, 0.5f).COUNT[0], (Row{3, 10, 6, 10}));
  // A negative count is neither zero nor positive: no correction.
  EXPECT_EQ(estimated("-1 10 0 10\n", 1, 0.5f, 0.5f).COUNT[0], (Row{-1, 10, 0, 10}));
}

TEST(ContinuityCorrections, FractionalSizesAreTruncatedInTheStudySize) {
  const StudyTable t = estimated("0 10 4 10\n", 1, 0.1f, 0.1f);
  EXPECT_EQ(t.COUNT[0][kSubjects1], static_cast<float>(10 + 2.0 * 0.1f));
  EXPECT_EQ(t.NTOT[0], 20.0);  // 20.4 truncated
}

TEST(StudyEstimates, RiskRatioVarianceAndLimits) {
  const StudyTable t = estimated("3 10 6 10\n", 1, 0.5f, 0.5f);
  EXPECT_EQ(t.RR[0], 0.5f);
  EXPECT_EQ(t.VLOGRR[0], 0.3f);  // 1/6 + 1/3 - 1/10 - 1/10
  EXPECT_EQ(t.WEIGHT[0], static_cast<float>(1.0 / 0.3f));
  const float se = std::sqrt(0.3f);
  const float h = static_cast<float>(double{1.96f} * se);
  EXPECT_EQ(t.RRLL[0], static_cast<float>(std::exp(std::log(0.5) - h)));
  EXPECT_EQ(t.RRUL[0], static_cast<float>(std::exp(std::log(0.5) + h)));
  EXPECT_NEAR(t.RRLL[0], 0.5 * std::exp(-1.96 * std::sqrt(0.3)), 1e-6);
}

TEST(StudyEstimates, AZeroCellNoCorrectionRemovedGivesNonFiniteValuesWithoutFailing) {
  const StudyTable t = estimated("0 10 5 10\n", 1, 0.0f, 0.0f);
  EXPECT_EQ(t.RR[0], 0.0f);
  EXPECT_TRUE(std::isinf(t.VLOGRR[0]));
  EXPECT_EQ(t.WEIGHT[0], 0.0f);
  const StudyTable both = estimated("0 10 0 10\n", 1, 0.0f, 0.0f);
  EXPECT_TRUE(std::isnan(both.RR[0]));
}

TEST(StudyFile, LayoutsReadAlike) {
  const std::string one_a_line = "15 120 25 118\n0 54 3 60\n0 40 0 38\n";
  const std::string spread = "15 120 25 118 0\n54\n3,60\n\n0 40 0 38\n";
  const std::string with_extra = one_a_line + "7 7 7 7\nnot read at all\n";
  EXPECT_EQ(table_of(one_a_line, 3).NCOUNT, table_of(spread, 3).NCOUNT);
  EXPECT_EQ(table_of(one_a_line, 3).NCOUNT, table_of(with_extra, 3).NCOUNT);
  EXPECT_EQ(table_of(one_a_line, 3).NCOUNT[1], (std::array<std::int32_t, 4>{0, 54, 3, 60}));
}

TEST(StudyFile, TooFewValuesMeetTheEndOfTheFile) {
  try {
    table_of("1 2 3 4 5 6 7 8 9 10\n", 3);
    FAIL() << "no input error";
  } catch (const records::InputError& error) {
    EXPECT_EQ(error.condition_text(), "end-of-file during read, unit 10, file study.txt");
  }
}

TEST(StudyFile, CountsAsReadBecomeSinglePrecision) {
  const StudyTable t = table_of("16777217 2147483647 1 2\n", 1);
  EXPECT_EQ(t.COUNT[0][0], 16777216.0f);  // the nearest single
  EXPECT_EQ(t.COUNT[0][1], 2147483648.0f);
}

TEST(StudyFile, HugeSizesDoNotWrapTheStudySize) {
  const StudyTable t = table_of("1 2147483647 1 2147483647\n", 1);
  EXPECT_EQ(t.NTOT[0], 4294967296.0);
}

TEST(Tables, OskevRecords) {
  StudyTable t = estimated("15 120 25 118\n0 54 3 60\n", 2, 0.5f, 0.5f);
  std::ostringstream out;
  records::ListWriter console(out);
  print_counts(console, t.COUNT);
  print_risk_ratios(console, t);
  EXPECT_EQ(out.str(),
            "   15.00000       120.0000       25.00000       118.0000    \n"
            "  0.5000000       55.00000       3.500000       61.00000    \n"
            "  \n"
            "         study    RR             95%LL        95%UL\n"
            "           1  0.5900000      0.3278591       1.061736    \n"
            "           2  0.1584416      8.3698994E-03   2.999287    \n"
            "  \n");
}

}  // namespace
}  // namespace oskev::analysis
