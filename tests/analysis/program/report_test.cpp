#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <sstream>

#include "analysis/engine.hpp"
#include "analysis/program/replace_file.hpp"
#include "analysis/program/report.hpp"
#include "errors/run_stopped.hpp"
#include "support/run_harness.hpp"

namespace oskev::analysis {
namespace {

TEST(EmpiricalPValue, TheSinglePrecisionQuotientOfTheCount) {
  EXPECT_EQ(empirical_p_value(37, 1000), 0.037f);
  EXPECT_EQ(empirical_p_value(0, 1000), 0.0f);
  EXPECT_EQ(empirical_p_value(999, 1000), 0.999f);
  EXPECT_EQ(empirical_p_value(64, 64), 1.0f);
  // Exact beyond the 2^24 runs a single-precision count reaches.
  EXPECT_EQ(empirical_p_value((1 << 24) + 1, 1 << 25), static_cast<float>(((1 << 24) + 1) / double(1 << 25)));
}

ObservedStatistics observed(float rrmh, float q, double pasym) {
  ObservedStatistics o;
  o.RRMH = rrmh;
  o.Q = q;
  o.PASYM = pasym;
  return o;
}

TEST(ResultsFile, Records) {
  const std::string text = results_file_text(Variant::kOskev, 2, observed(0.8765432f, 3.210987f, 0.5234), 0.0375f);
  EXPECT_EQ(text,
            " Type of extreme homogeneity estimation: \n"
            " 1 is for fixed prevalence of total events \n"
            " 2 is for random prevalence of total events \n"
            "  \n"
            " The type of estimation is:\n"
            "   2\n"
            " RRMH observed =\n"
            "    0.876543\n"
            " Q observed =\n"
            "    3.210987\n"
            " Asymptotic heterogeneity: P-value for Q =\n"
            "    0.523400\n"
            " Extreme homegenity: left sided P-value for Q =\n"
            "    0.037500\n");
}

TEST(ResultsFile, LabelsOfOskevV10AndEdgeValues) {
  const std::string text = results_file_text(Variant::kOskevV10, 1, observed(1.0f, 123456.7f, 0.0), 1.0f);
  EXPECT_NE(text.find("\n   1\n RR-MH observed =\n    1.000000\n Q observed =\n************\n"), std::string::npos);
  EXPECT_NE(text.find(" Extreme homegenity: left sided P-value =\n    1.000000\n"), std::string::npos);
  const std::string nan = results_file_text(Variant::kOskev, 1, observed(1.0f, NAN, NAN), 0.0f);
  EXPECT_NE(nan.find(" Q observed =\n         NaN\n"), std::string::npos);
  EXPECT_NE(nan.find("    0.000000\n"), std::string::npos);
}

TEST(ConsoleResults, Oskev) {
  std::ostringstream out;
  records::ListWriter console(out);
  print_results(Variant::kOskev, console, observed(0.5f, 1.0f, 0.5234), 0.037f, 0, false);
  EXPECT_EQ(out.str(),
            " P-value for asymptotic heterogeneity test  0.523400000000000     \n"
            "  \n"
            " Extreme homegenity: left sided P-value for Q=  3.7000000E-02\n"
            "  \n");
}

TEST(ConsoleResults, OskevV10FramedBlockAndUndefinedRuns) {
  std::ostringstream out;
  records::ListWriter console(out);
  print_results(Variant::kOskevV10, console, observed(0.8765432f, 123456.7f, 0.5234), 0.5f, 12, false);
  EXPECT_EQ(out.str(),
            "  \n  \n  \n"
            " ************************RESULTS******************************\n"
            "  \n"
            " RR-MH observed =  0.8765432    \n"
            "  \n"
            " Q observed =   123456.7    \n"
            "  \n"
            " Asymptotic heterogeneity: P-value for Q =  0.523400000000000     \n"
            "  \n"
            " Extreme homegenity: left sided P-value =  0.5000000    \n"
            "  \n"
            " *************************************************************\n"
            "  \n  \n  \n"
            " Runs with an undefined Q, not counted:          12\n");
}

TEST(ReplaceFile, ReplacesAWholeFileAndLeavesNothingBehind) {
  testing::ScratchFolder folder;
  const auto path = folder.path() / "output.txt";
  testing::write_file(path, std::string(1000, 'x'));
  replace_file(path, "new\n");
  EXPECT_EQ(testing::read_file(path), "new\n");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path()), {}), 1);
}

TEST(ReplaceFile, AFailureStopsWithItsOwnStatusAndKeepsTheOldFile) {
  testing::ScratchFolder folder;
  const auto path = folder.path() / "output.txt";
  std::filesystem::create_directory(path);  // a folder in the way: the rename fails
  try {
    replace_file(path, "new\n");
    FAIL() << "no stop";
  } catch (const errors::RunStopped& stop) {
    EXPECT_EQ(stop.exit_status(), errors::kExitOutputError);
    EXPECT_EQ(stop.report().rfind("cannot write output.txt: ", 0), 0u);
  }
  EXPECT_TRUE(std::filesystem::is_directory(path));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path()), {}), 1);
}

}  // namespace
}  // namespace oskev::analysis
