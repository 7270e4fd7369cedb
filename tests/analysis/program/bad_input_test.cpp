// The sweep of bad input: every kind of bad answer or study file, what the program does (the
// exit status and its message) and that an earlier output.txt stays untouched. Each row
// here is a row of the README's table.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <unistd.h>

#include "support/run_harness.hpp"

namespace oskev::testing {
namespace {

namespace fs = std::filesystem;

struct BadInput {
  const char* name;
  const char* answers;
  const char* study;   // nullptr: no study.txt
  int status;
  const char* report;  // a part of standard error, or of the console for library stops
};

const char* const kTwo = "15 120 25 118\n5 54 3 60\n";
const char* const kEarlier = "an earlier result\n";

const BadInput kRows[] = {
    // Answers.
    {"studies_letters", "abc\n", kTwo, 2, "input conversion error, unit 5, file stdin"},
    {"studies_decimal", "2.5\n", kTwo, 2, "input conversion error, unit 5, file stdin"},
    {"studies_beyond_32_bits", "99999999999\n", kTwo, 2, "input conversion error, unit 5, file stdin"},
    {"studies_above_100", "101\n", kTwo, 3, "the number of studies, 101, is above the limit of 100"},
    {"studies_one", "1\n100\n0.5\n0.5\n1\n", kTwo, 1, " *** TERMINAL ERROR 2 from DCHIDF."},
    {"studies_zero", "0\n100\n0.5\n0.5\n1\n", kTwo, 1, "DF = -1.000000000000000D+00"},
    {"studies_negative", "-3\n100\n0.5\n0.5\n1\n", kTwo, 1, "DF = -4.000000000000000D+00"},
    {"studies_least_32_bit", "-2147483648\n10\n0.5\n0.5\n1\n", "1 10 2 10\n", 1, "DF = -2.147483649000000D+09"},
    {"runs_letters", "2\nmany\n", kTwo, 2, "input conversion error, unit 5, file stdin"},
    {"runs_above_80000", "2\n80001\n", kTwo, 3, "the number of runs, 80001, is above the limit of 80000"},
    {"runs_zero_fixed", "2\n0\n0.5\n0.5\n1\n", kTwo, 1, "NR = 0.  NR must be greater than or equal"},
    {"runs_zero_random", "2\n0\n0.5\n0.5\n2\n", kTwo, 3, "needs at least one run, not 0"},
    {"runs_negative_fixed", "2\n-5\n0.5\n0.5\n1\n", kTwo, 1, "NR = -5.  NR must be greater than or equal"},
    {"correction_letters", "2\n100\nhalf\n", kTwo, 2, "input conversion error, unit 5, file stdin"},
    {"correction_negative", "2\n100\n-1\n", kTwo, 3, "a continuity correction must be 0 or more, not -1.000000"},
    {"correction_both_negative", "2\n100\n0.5\n-0.25\n", kTwo, 3, "must be 0 or more, not -0.2500000"},
    {"correction_too_large", "2\n100\n1e39\n", kTwo, 2, "input conversion error, unit 5, file stdin"},
    {"estimation_three", "2\n100\n0.5\n0.5\n3\n", kTwo, 3, "the type of estimation must be 1"},
    {"estimation_zero", "2\n100\n0.5\n0.5\n0\n", kTwo, 3, "not 0"},
    {"estimation_letters", "2\n100\n0.5\n0.5\nfixed\n", kTwo, 2, "input conversion error, unit 5, file stdin"},
    {"answers_end_early", "2\n100\n", kTwo, 2, "end-of-file during read, unit 5, file stdin"},
    {"answers_only_empty_lines", "\n\n\n", kTwo, 2, "end-of-file during read, unit 5, file stdin"},
    {"answers_malformed_repeat", "0*2\n", kTwo, 2, "list-directed I/O syntax error, unit 5, file stdin"},
    // study.txt.
    {"study_missing", "2\n100\n0.5\n0.5\n1\n", nullptr, 2, "end-of-file during read, unit 10, file study.txt"},
    {"study_empty", "2\n100\n0.5\n0.5\n1\n", "", 2, "end-of-file during read, unit 10, file study.txt"},
    {"study_short", "2\n100\n0.5\n0.5\n1\n", "15 120 25 118\n5 54\n", 2, "(8 values needed, 6 found)"},
    {"study_letters", "2\n100\n0.5\n0.5\n1\n", "15 120 25 118\n5 fifty 3 60\n", 2,
     "input conversion error, unit 10, file study.txt (line 2: \"fifty\")"},
    {"study_decimals", "2\n100\n0.5\n0.5\n1\n", "15 120.0 25 118\n5 54 3 60\n", 2,
     "input conversion error, unit 10, file study.txt"},
    {"study_beyond_32_bits", "2\n100\n0.5\n0.5\n1\n", "15 2147483648 25 118\n5 54 3 60\n", 2,
     "input conversion error, unit 10, file study.txt"},
    {"study_negative_count", "2\n100\n0.5\n0.5\n1\n", "15 120 25 118\n-5 54 3 60\n", 3,
     "study 2 cannot be analysed: arm 1 has a negative count (-5 events, 54 subjects)"},
    {"study_events_above_subjects", "2\n100\n0.5\n0.5\n2\n", "15 120 25 18\n5 54 3 60\n", 3,
     "study 1 cannot be analysed: arm 2 has 25 events but only 18 subjects"},
    {"study_zero_arm", "2\n100\n0.5\n0.5\n1\n", "0 0 25 118\n5 54 3 60\n", 1,
     "N = 0.  N must be greater than or equal to"},
    {"study_probability_above_one", "2\n100\n0.5\n0.5\n1\n", "100 100 50 100\n50 50 1 100\n", 1,
     "The probability P = 1.1"},
    {"study_huge_counts_random", "2\n50\n0.5\n0.5\n2\n", "1000000000 2000000000 999999999 2000000000\n5 54 3 60\n", 3,
     "its 4000000000 participants exceed the generator's limit of 2147483647"},
    {"study_never_accepted", "2\n100\n0.5\n0.5\n2\n", "0 1 1 1\n5 20 6 20\n", 3,
     "study 1 cannot be simulated under random prevalence of total events"},
    {"study_redrawn_for_ever", "2\n10\n0.01\n0.01\n2\n", "5 10 0 0\n1 100 50 100\n", 3,
     "no acceptable total of events in 1000000 draws"},
};

class BadInputSweep : public ::testing::TestWithParam<BadInput> {};

TEST_P(BadInputSweep, StopsWithItsStatusAndMessageAndLeavesOutputAlone) {
  const BadInput& row = GetParam();
  RunSetup setup;
  setup.answers = row.answers;
  if (row.study != nullptr) setup.study = row.study;
  setup.output_before = kEarlier;
  const RunOutcome outcome = run_in_scratch(setup);
  EXPECT_EQ(outcome.status, row.status);
  const std::string& where = row.status == 1 ? outcome.console : outcome.errors;
  EXPECT_NE(where.find(row.report), std::string::npos) << "console:\n" << outcome.console << "\nerrors:\n" << outcome.errors;
  if (row.status != 1) {
    EXPECT_EQ(outcome.errors.find('\n'), outcome.errors.size() - 1) << "one line on standard error";
  }
  EXPECT_EQ(outcome.output, std::optional<std::string>(kEarlier));
  if (row.study == nullptr) {
    EXPECT_EQ(outcome.study_exists, row.status != 3) << "created empty, never before refusal";
  }
}

INSTANTIATE_TEST_SUITE_P(Rows, BadInputSweep, ::testing::ValuesIn(kRows),
                         [](const ::testing::TestParamInfo<BadInput>& info) { return std::string(info.param.name); });

// Extreme but valid tables complete.
TEST(ExtremeStudyFiles, HundredStudiesCompleteOrStopCleanly) {
  std::string tiny, huge;
  for (int i = 0; i < 100; ++i) {
    tiny += "0 1 0 1\n";
    huge += "1000000000 2000000000 999999999 2000000000\n";
  }
  RunSetup setup;
  setup.answers = "100\n200\n0.5\n0.5\n1\n";
  setup.study = tiny;
  RunOutcome outcome = run_in_scratch(setup);
  EXPECT_EQ(outcome.status, 0) << outcome.errors;
  EXPECT_NE(outcome.console.find(" Runs with an undefined Q, not counted:"), std::string::npos);
  setup.study = huge;
  outcome = run_in_scratch(setup);
  EXPECT_EQ(outcome.status, 0) << outcome.errors;
  ASSERT_TRUE(outcome.output.has_value());
}

TEST(ExtremeStudyFiles, AFolderInPlaceOfAFile) {
  ScratchFolder folder;
  fs::create_directory(folder.path() / "study.txt");
  std::istringstream answers("2\n100\n0.5\n0.5\n1\n");
  std::ostringstream console, errors;
  random::FixedClock clock;
  analysis::RunEnvironment environment{answers, console, errors, folder.path(), clock};
  EXPECT_EQ(analysis::run_program(analysis::Variant::kOskev, environment), 2);
  EXPECT_EQ(errors.str(), "oskev: cannot open study.txt: it is a folder\n");

  ScratchFolder second;
  write_file(second.path() / "study.txt", kTwo);
  fs::create_directory(second.path() / "output.txt");
  std::istringstream answers2("2\n100\n0.5\n0.5\n1\n");
  std::ostringstream errors2;
  analysis::RunEnvironment environment2{answers2, console, errors2, second.path(), clock};
  EXPECT_EQ(analysis::run_program(analysis::Variant::kOskev, environment2), 4);
  EXPECT_EQ(errors2.str().rfind("oskev: cannot write output.txt: ", 0), 0u);
  EXPECT_TRUE(fs::is_directory(second.path() / "output.txt"));
}

// A missing study.txt is created empty, but only as a new plain file: a link there that leads
// nowhere is refused, and nothing is made where it points.
TEST(ExtremeStudyFiles, ADanglingLinkInPlaceOfTheFileIsNeverFollowed) {
#ifdef _WIN32
  GTEST_SKIP() << "symbolic links need a privilege on Windows";
#else
  ScratchFolder folder;
  fs::create_directory(folder.path() / "elsewhere");
  fs::create_symlink(folder.path() / "elsewhere" / "made.txt", folder.path() / "study.txt");
  std::istringstream answers("2\n100\n0.5\n0.5\n1\n");
  std::ostringstream console, errors;
  random::FixedClock clock;
  analysis::RunEnvironment environment{answers, console, errors, folder.path(), clock};
  EXPECT_EQ(analysis::run_program(analysis::Variant::kOskev, environment), 2);
  EXPECT_EQ(errors.str(), "oskev: cannot open study.txt: it is a link that leads nowhere\n");
  EXPECT_TRUE(fs::is_empty(folder.path() / "elsewhere"));
  EXPECT_TRUE(fs::is_symlink(folder.path() / "study.txt"));
  EXPECT_FALSE(fs::exists(folder.path() / "output.txt"));
#endif
}

// A picture that cannot be written is refused before the first question: nothing is printed,
// study.txt is not created, an earlier output.txt stays, and the message names the path.
TEST(PicturePlace, RefusedBeforeAnyQuestion) {
  const struct {
    const char* plot;
    const char* report;
  } cases[] = {
      {"missing/q.svg", "oskev: cannot write missing/q.svg: the folder missing does not exist\n"},
      {"plots", "oskev: cannot write plots: it is a folder\n"},
      {"plots/", "oskev: cannot write plots/: it names a folder, not a file\n"},
      {"notes.txt/", "oskev: cannot write notes.txt/: it names a folder, not a file\n"},
      {"notes.txt/q.svg", "oskev: cannot write notes.txt/q.svg: notes.txt is not a folder\n"},
  };
  for (const auto& c : cases) {
    ScratchFolder folder;
    fs::create_directory(folder.path() / "plots");
    write_file(folder.path() / "notes.txt", "notes\n");
    write_file(folder.path() / "output.txt", kEarlier);
    std::istringstream answers("2\n100\n0.5\n0.5\n1\n");
    std::ostringstream console, errors;
    random::FixedClock clock;
    const analysis::RunEnvironment environment{answers, console, errors, folder.path(), clock};
    EXPECT_EQ(analysis::program_main(analysis::Variant::kOskev, {"--plot", c.plot}, environment), 4) << c.plot;
    EXPECT_EQ(console.str(), "") << c.plot;
    EXPECT_EQ(errors.str(), c.report);
    EXPECT_EQ(read_file(folder.path() / "output.txt"), kEarlier);
    EXPECT_FALSE(fs::exists(folder.path() / "study.txt"));
    EXPECT_EQ(std::distance(fs::directory_iterator(folder.path()), {}), 3) << "plots, notes.txt, output.txt";
    EXPECT_TRUE(fs::is_empty(folder.path() / "plots"));
  }
}

// A picture that fails only when it is written, after the run (a full device), fails the run
// and leaves an earlier output.txt as it was.
TEST(PicturePlace, AFailureAtTheEndKeepsTheEarlierResults) {
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  ScratchFolder folder;
  write_file(folder.path() / "study.txt", kTwo);
  write_file(folder.path() / "output.txt", kEarlier);
  fs::create_symlink("/dev/full", folder.path() / "q.svg");
  std::istringstream answers("2\n100\n0.5\n0.5\n1\n");
  std::ostringstream console, errors;
  random::FixedClock clock;
  const analysis::RunEnvironment environment{answers, console, errors, folder.path(), clock};
  EXPECT_EQ(analysis::program_main(analysis::Variant::kOskevV10, {"--plot", "q.svg"}, environment), 4);
  EXPECT_EQ(errors.str(), "oskev-v1.0: cannot write q.svg: No space left on device\n");
  EXPECT_EQ(read_file(folder.path() / "output.txt"), kEarlier);
  EXPECT_TRUE(fs::is_symlink(folder.path() / "q.svg"));
  EXPECT_EQ(std::distance(fs::directory_iterator(folder.path()), {}), 3);
}

// A link planted where a temporary results file with a guessable name would go (its name,
// ".tmp." and the process number) leaves the link's target alone, and output.txt a plain file of results.
TEST(PlantedLink, TheResultsAndThePictureNeverFollowIt) {
#ifdef _WIN32
  GTEST_SKIP() << "symbolic links need a privilege on Windows; its exclusive creation (CREATE_NEW) fails on any name";
#endif
  ScratchFolder folder;
  write_file(folder.path() / "study.txt", kTwo);
  write_file(folder.path() / "victim", "the victim's own text\n");
  const std::string pid = std::to_string(::getpid());
  for (const std::string& name : {"output.txt.tmp." + pid, "q.svg.tmp." + pid}) {
    fs::create_symlink(folder.path() / "victim", folder.path() / name);
  }
  std::istringstream answers("2\n100\n0.5\n0.5\n1\n");
  std::ostringstream console, errors;
  random::FixedClock clock;
  const analysis::RunEnvironment environment{answers, console, errors, folder.path(), clock};
  EXPECT_EQ(analysis::program_main(analysis::Variant::kOskev, {"--seed", "7", "--plot", "q.svg"}, environment), 0)
      << errors.str();
  EXPECT_EQ(read_file(folder.path() / "victim"), "the victim's own text\n");
  EXPECT_FALSE(fs::is_symlink(folder.path() / "output.txt"));
  EXPECT_FALSE(fs::is_symlink(folder.path() / "q.svg"));
  EXPECT_EQ(read_file(folder.path() / "output.txt").rfind(" Type of extreme homogeneity estimation: \n", 0), 0u);
  EXPECT_EQ(read_file(folder.path() / "q.svg").rfind("<?xml", 0), 0u);
  EXPECT_EQ(std::distance(fs::directory_iterator(folder.path()), {}), 6) << "the two links stay as they were";
}

// Standard output that fails (a full disk, a closed pipe) makes a failed run: reported on
// standard error, status 4 where the run would have completed, no new output.txt.
TEST(LostConsole, ACompleteRunIsAFailedRun) {
  for (const analysis::Variant variant : {analysis::Variant::kOskev, analysis::Variant::kOskevV10}) {
    const std::string report =
        variant == analysis::Variant::kOskev ? "oskev: cannot write to standard output\n"
                                             : "oskev-v1.0: cannot write to standard output\n";
    RunSetup setup;
    setup.variant = variant;
    setup.answers = "2\n100\n0.5\n0.5\n1\n";
    setup.study = kTwo;
    setup.output_before = kEarlier;
    const std::string complete = run_in_scratch(setup).console;
    // From the first byte (/dev/full), within the dialogue, and at the very last byte.
    for (const std::size_t accepted : {std::size_t{0}, std::size_t{1000}, complete.size() - 1}) {
      setup.console_fails_after = accepted;
      const RunOutcome outcome = run_in_scratch(setup);
      EXPECT_EQ(outcome.status, 4) << accepted;
      EXPECT_EQ(outcome.errors, report) << accepted;
      EXPECT_EQ(outcome.console, complete.substr(0, accepted));
      EXPECT_EQ(outcome.output, std::optional<std::string>(kEarlier));
    }
  }
}

TEST(LostConsole, ARunThatStopsKeepsItsStatusAndReportsTheLoss) {
  RunSetup setup;
  setup.answers = "abc\n";
  setup.study = kTwo;
  setup.output_before = kEarlier;
  setup.console_fails_after = 0;
  RunOutcome outcome = run_in_scratch(setup);
  EXPECT_EQ(outcome.status, 2);
  EXPECT_EQ(outcome.errors,
            "oskev: input conversion error, unit 5, file stdin (line 1: \"abc\")\n"
            "oskev: cannot write to standard output\n");
  // A library stop's message went to the lost console; standard error still says something.
  setup.answers = "1\n100\n0.5\n0.5\n1\n";
  outcome = run_in_scratch(setup);
  EXPECT_EQ(outcome.status, 1);
  EXPECT_EQ(outcome.errors, "oskev: cannot write to standard output\n");
  EXPECT_EQ(outcome.output, std::optional<std::string>(kEarlier));
}

TEST(LostConsole, HelpAndVersion) {
  for (const char* option : {"--help", "--version"}) {
    std::istringstream answers;
    FailingStream console;
    std::ostringstream errors;
    random::FixedClock clock;
    const analysis::RunEnvironment environment{answers, console, errors, fs::temp_directory_path(), clock};
    EXPECT_EQ(analysis::program_main(analysis::Variant::kOskevV10, {option}, environment), 4) << option;
    EXPECT_EQ(errors.str(), "oskev-v1.0: cannot write to standard output\n");
  }
  // A bad option writes nothing to standard output: its status stays.
  std::istringstream answers;
  FailingStream console;
  std::ostringstream errors;
  random::FixedClock clock;
  const analysis::RunEnvironment environment{answers, console, errors, fs::temp_directory_path(), clock};
  EXPECT_EQ(analysis::program_main(analysis::Variant::kOskev, {"--speed"}, environment), 64);
  EXPECT_EQ(errors.str(), "oskev: unknown option '--speed'\nTry 'oskev --help'.\n");
}

// Lines of any length: a value too long for any number stops the run with a message of one
// short line, and what follows the last value of an answer is passed over unread.
TEST(LongLinesInWholeRuns, AnAnswerOfTenMillionDigits) {
  RunSetup setup;
  setup.answers = std::string(10'000'000, '7') + "\n10\n0.5\n0.5\n1\n";
  setup.study = kTwo;
  setup.output_before = kEarlier;
  const RunOutcome outcome = run_in_scratch(setup);
  EXPECT_EQ(outcome.status, 2);
  EXPECT_EQ(outcome.errors,
            "oskev: input conversion error, unit 5, file stdin (line 1: \"" + std::string(40, '7') + "...\")\n");
  EXPECT_EQ(outcome.output, std::optional<std::string>(kEarlier));
}

TEST(LongLinesInWholeRuns, AStudyValueOfTenMillionDigits) {
  RunSetup setup;
  setup.variant = analysis::Variant::kOskevV10;
  setup.answers = "2\n10\n0.5\n0.5\n1\n";
  setup.study = "15 120 25 118\n5 54 " + std::string(10'000'000, '3') + " 60\n";
  const RunOutcome outcome = run_in_scratch(setup);
  EXPECT_EQ(outcome.status, 2);
  EXPECT_EQ(outcome.errors, "oskev-v1.0: input conversion error, unit 10, file study.txt (line 2: \"" +
                                std::string(40, '3') + "...\")\n");
  EXPECT_FALSE(outcome.output.has_value());
}

TEST(LongLinesInWholeRuns, JunkAfterAnAnswerOrTheLastStudyChangesNothing) {
  RunSetup plain;
  plain.answers = "2\n10\n0.5\n0.5\n1\n";
  plain.study = kTwo;
  const RunOutcome expected = run_in_scratch(plain);
  ASSERT_EQ(expected.status, 0) << expected.errors;

  RunSetup junk = plain;
  junk.answers = "2 " + std::string(10'000'000, 'x') + "\n10\n0.5\n0.5\n1 " + std::string(1000, 'y') + "\n";
  junk.study = std::string(kTwo) + std::string(10'000'000, 'z');
  const RunOutcome outcome = run_in_scratch(junk);
  EXPECT_EQ(outcome.status, 0) << outcome.errors;
  EXPECT_EQ(outcome.console, expected.console);
  EXPECT_EQ(outcome.output, expected.output);
}

// study.txt that never ends (a link to /dev/zero) is bad input like any other: the reader
// refuses its first value, too long for any number, after a few hundred bytes.
TEST(LongLinesInWholeRuns, AnEndlessStudyFileStopsAsBadInput) {
  for (const auto variant : {analysis::Variant::kOskev, analysis::Variant::kOskevV10}) {
    ScratchFolder folder;
    std::error_code no_link;
    fs::create_symlink("/dev/zero", folder.path() / "study.txt", no_link);
    if (no_link) GTEST_SKIP() << "no symbolic link to /dev/zero here: " << no_link.message();
    write_file(folder.path() / "output.txt", kEarlier);
    std::istringstream answers("2\n100\n0.5\n0.5\n1\n");
    std::ostringstream console, errors;
    random::FixedClock clock;
    analysis::RunEnvironment environment{answers, console, errors, folder.path(), clock};
    EXPECT_EQ(analysis::run_program(variant, environment), 2);
    const std::string name = variant == analysis::Variant::kOskev ? "oskev" : "oskev-v1.0";
    EXPECT_EQ(errors.str(), name + ": input conversion error, unit 10, file study.txt (line 1: \"" +
                                std::string(40, '?') + "...\")\n");
    EXPECT_EQ(read_file(folder.path() / "output.txt"), kEarlier);
  }
}

}  // namespace
}  // namespace oskev::testing
