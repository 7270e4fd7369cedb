#include <gtest/gtest.h>

#include <sstream>

#include "errors/error_service.hpp"

namespace oskev::errors {
namespace {

class ErrorServiceTest : public ::testing::Test {
 protected:
  std::ostringstream console;
  ErrorService service{console};

  // Runs `action`, which must stop the run, and returns what was written.
  template <typename Action>
  std::string stopped(Action&& action) {
    try {
      action();
    } catch (const RunStopped& stop) {
      EXPECT_EQ(stop.exit_status(), kExitLibraryStop);
      EXPECT_TRUE(stop.report().empty());
      return console.str();
    }
    ADD_FAILURE() << "the run did not stop";
    return console.str();
  }
};

TEST_F(ErrorServiceTest, TerminalAtLevelTwoIsWrittenAtOnceWithoutTraceback) {
  service.E1PSH("dCHIDF");
  service.E1VALD(1, 0.1);
  service.E1MES(kTerminal, 2,
                "The number of degrees of freedom of the distribution, DF = %(d1), must be at least equal to 0.5.");
  const std::string expected =
      "  \n"
      " *** TERMINAL ERROR 2 from DCHIDF.  The number of degrees of freedom of the\n"
      " ***          distribution, DF = 1.000000000000000D-01, must be at least \n"
      " ***          equal to 0.5.\n";
  EXPECT_EQ(console.str(), expected);
  EXPECT_EQ(stopped([&] { service.E1POP("dCHIDF"); }), expected);  // the stop writes nothing more
}

TEST_F(ErrorServiceTest, TerminalAtLevelThreeCarriesATraceback) {
  service.E1PSH("dCHIDF");
  service.E1PSH("DGAMMA");
  service.E1MES(kTerminal, 5, "The argument for the function can not be zero.");
  EXPECT_EQ(console.str(),
            "  \n"
            " *** TERMINAL ERROR 5 from DGAMMA.  The argument for the function can not be\n"
            " ***          zero.\n"
            "     Here is a traceback of subprogram calls in reverse order:\n"
            "     Routine name                    Error type  Error code\n"
            "     ------------                    ----------  ----------\n"
            "     DGAMMA                               5           5    (Called internally)\n"
            "     DCHIDF                               0           0\n"
            "     USER                                 0           0\n");
  // The run stops when the internal routine pops, not later.
  stopped([&] { service.E1POP("DGAMMA"); });
  EXPECT_EQ(service.level(), 3);
}

TEST_F(ErrorServiceTest, WarningAtLevelThreeIsWrittenWhenTheLevelTwoRoutineReturns) {
  service.E1PSH("DNORDF");
  service.E1PSH("DCSEVL");
  service.E1VALD(1, 1.2);
  service.E1MES(kWarning, 7, "The argument X = %(D1) is outside the interval (-1.1,+1.1).");
  service.E1POP("DCSEVL");
  EXPECT_EQ(console.str(), "");
  EXPECT_EQ(service.N1RTY(0), kWarning);  // inherited by the caller
  EXPECT_EQ(service.N1RCD(0), 7);
  service.E1POP("DNORDF");
  EXPECT_EQ(console.str(),
            "  \n"
            " *** WARNING  ERROR 7 from DNORDF.  The argument X = 1.200000000000000D+00 is\n"
            " ***          outside the interval (-1.1,+1.1).\n");
  EXPECT_EQ(service.level(), 1);
  EXPECT_EQ(service.N1RTY(1), kWarning);
}

TEST_F(ErrorServiceTest, NoteAndAlertAreSilentButReadable) {
  service.E1PSH("dCHIDF");
  service.E1VALD(1, -1.0);
  service.E1MES(kNote, 1, "Since CHSQ = %(d1) is less than zero, the distribution function is zero at CHSQ.");
  service.E1POP("dCHIDF");
  EXPECT_EQ(service.N1RTY(1), kNote);
  EXPECT_EQ(service.N1RCD(1), 1);
  EXPECT_EQ(service.N1RTY(0), kNoError);  // a NOTE is not passed on

  service.E1PSH("DERFC");
  service.E1MES(kAlert, 1, "The function underflows.");
  service.E1POP("DERFC");
  EXPECT_EQ(service.N1RTY(1), kAlert);
  EXPECT_EQ(service.N1RTY(0), kAlert);  // an ALERT is
  EXPECT_EQ(console.str(), "");
}

TEST_F(ErrorServiceTest, TypeZeroClearsAnInheritedAlert) {
  service.E1PSH("DNORDF");
  service.E1PSH("DERFC");
  service.E1MES(kAlert, 1, "The function underflows.");
  service.E1POP("DERFC");
  ASSERT_EQ(service.N1RTY(0), kAlert);
  service.E1MES(0, 0, " ");
  EXPECT_EQ(service.N1RTY(0), kNoError);
  EXPECT_EQ(service.pending_message(), "");
  service.E1POP("DNORDF");
  EXPECT_EQ(service.N1RTY(1), kNoError);
  EXPECT_EQ(console.str(), "");
}

TEST_F(ErrorServiceTest, TemplateExpansion) {
  service.E1PSH("RNBIN");
  service.E1VALI(1, 0);
  service.E1VALL(1, "NR");
  service.E1MES(kAlert, 1, "%(L1) = %(I1).  %(L1) must be greater than or equal to %(I2).");
  // I2 was never set: its key stays in the text.
  EXPECT_EQ(service.pending_message(), ".  NR = 0.  NR must be greater than or equal to %(I2).");
  EXPECT_EQ(service.parameter_list(), "");  // emptied by every post

  // Keys are found whatever the case of the letter; unknown letters and digit 0 stay literal.
  service.E1VALR(1, -1.0f);
  service.E1MES(kAlert, 1, "%(r1) %(R1) %(Q1) %(R0) %(R1");
  EXPECT_EQ(service.pending_message(), ".  -1.000000E+00 -1.000000E+00 %(Q1) %(R0) %(R1");
}

TEST_F(ErrorServiceTest, ParameterListLayoutAndOverflow) {
  service.E1VALI(1, -12);
  service.E1VALL(2, "N   ");
  service.E1VALL(-3, "N   ");
  service.E1VALI(0, 5);    // key digit 0: dropped
  service.E1VALI(10, 5);   // key digit 10: dropped
  EXPECT_EQ(service.parameter_list(), "*I1*3%-12*L2*1%N*L3*4%N   ");
  service.E1MES(0, 0, " ");
  // 300 characters in all: an entry that would not fit is dropped silently.
  service.E1VALL(1, std::string(255, 'a'));
  service.E1VALL(2, std::string(40, 'b'));
  EXPECT_EQ(service.parameter_list().size(), 255u + 8u);
  service.E1VALL(2, std::string(29, 'b'));
  EXPECT_EQ(service.parameter_list().size(), 255u + 8u);
  service.E1VALL(2, std::string(28, 'b'));
  EXPECT_EQ(service.parameter_list().size(), 255u + 8u + 28u + 7u);
}

TEST(ParameterLayouts, Numbers) {
  EXPECT_EQ(ErrorService::integer_text(-2147483647 - 1), "-2147483648");
  EXPECT_EQ(ErrorService::single_text(-1.0f), "-1.000000E+00");
  EXPECT_EQ(ErrorService::single_text(1.0f), "1.000000E+00");
  EXPECT_EQ(ErrorService::single_text(0.0f), "0.000000E+00");
  EXPECT_EQ(ErrorService::double_text(-1.0), "-1.000000000000000D+00");
  EXPECT_EQ(ErrorService::double_text(0.1), "1.000000000000000D-01");
  EXPECT_EQ(ErrorService::double_text(0.0), "0.000000000000000D+00");
  EXPECT_EQ(ErrorService::double_text(3.745194030963263e+306), "3.745194030963263+306");
  EXPECT_EQ(ErrorService::double_text(1e-300), "1.000000000000000-300");
  EXPECT_EQ(ErrorService::single_text(std::numeric_limits<float>::quiet_NaN()), "NaN");
}

TEST_F(ErrorServiceTest, UnitsAndRedirection) {
  std::int32_t unit = 0;
  service.UMACH(1, unit);
  EXPECT_EQ(unit, 5);
  service.UMACH(2, unit);
  EXPECT_EQ(unit, 6);
  service.UMACH(3, unit);
  EXPECT_EQ(unit, 6);

  std::ostringstream other;
  service.attach_unit(9, other);
  unit = 9;
  service.UMACH(-3, unit);
  service.E1PSH("DMACH");
  service.E1VALI(1, 9);
  service.E1MES(kTerminal, 5, "The argument must be between 1 and 8 inclusive. N = %(I1)");
  EXPECT_EQ(console.str(), "");
  EXPECT_EQ(other.str(),
            "  \n"
            " *** TERMINAL ERROR 5 from DMACH.  The argument must be between 1 and 8\n"
            " ***          inclusive. N = 9\n");
}

TEST_F(ErrorServiceTest, UmachRefusesABadIndex) {
  std::int32_t unit = 0;
  EXPECT_EQ(stopped([&] { service.UMACH(4, unit); }),
            "  \n"
            " *** TERMINAL ERROR 5 from UMACH.  The absolute\n"
            " ***          value of the index variable must be\n"
            " ***          1, 2, or 3.  IABS(N) =      4.\n"
            "  \n");
}

TEST_F(ErrorServiceTest, PopMismatchAndEmptyStackStop) {
  service.E1PSH("RNBIN");
  EXPECT_EQ(stopped([&] { service.E1POP("RNUN"); }),
            "  \n"
            " *** TERMINAL ERROR 2 from RNBIN.  Error condition in E1POP.  RNUN does not\n"
            " ***          match the name RNBIN                            in the stack.\n");
}

TEST_F(ErrorServiceTest, PopFromAnEmptyStackStops) {
  EXPECT_EQ(stopped([&] { service.E1POP("RNUN"); }),
            "  \n"
            " *** TERMINAL ERROR 1 from E1POP.  Error condition in E1POP.  Cannot pop from\n"
            " ***          RNUN because stack is empty.\n");
}

TEST_F(ErrorServiceTest, PushBeyondFiftyLevelsStops) {
  for (int i = 2; i <= ErrorService::kStackLimit; ++i) service.E1PSH("LEVEL" + std::to_string(i));
  const std::string text = stopped([&] { service.E1PSH("ONEMORE"); });
  EXPECT_NE(text.find(" *** TERMINAL ERROR 1 from LEVEL50.  Error condition in E1PSH.  Push would\n"
                      " ***          cause stack level to exceed 50.\n"),
            std::string::npos);
  EXPECT_NE(text.find("     LEVEL3                               0           0    (Called internally)\n"
                      "     LEVEL2                               0           0\n"
                      "     USER                                 0           0\n"),
            std::string::npos);
}

TEST_F(ErrorServiceTest, MisuseOfTheServiceStops) {
  service.E1PSH("RNBIN");
  EXPECT_EQ(stopped([&] { service.E1MES(8, 1, "x"); }),
            "  \n"
            " *** UNKNOWN  ERROR 0 from RNBIN.  Error from E1MES.  Illegal error type\n"
            " ***          specified.\n");
}

TEST_F(ErrorServiceTest, BadArgumentToN1rtyStops) {
  service.E1PSH("RNBIN");
  EXPECT_EQ(stopped([&] { service.N1RTY(2); }),
            "  \n"
            " *** TERMINAL ERROR 1 from RNBIN.  The argument passed to N1RTY must be 0 or\n"
            " ***          1.\n");
}

TEST_F(ErrorServiceTest, AWordLongerThanTheRoomBreaksAfterTheLeadingPeriod) {
  service.E1PSH("X");
  // The only blanks in the first line's room are those after the leading period; a
  // continuation line without a blank takes all 64 characters.
  service.E1MES(kWarning, 1, std::string(70, 'a') + " b");
  service.E1POP("X");
  EXPECT_EQ(console.str(), "  \n *** WARNING  ERROR 1 from X. \n ***          " + std::string(64, 'a') + "\n" +
                               " ***          " + std::string(6, 'a') + " b\n");
}

}  // namespace
}  // namespace oskev::errors
