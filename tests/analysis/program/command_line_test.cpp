#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "analysis/program/command_line.hpp"
#include "analysis/program/program.hpp"
#include "analysis/simulation/simulation.hpp"
#include "support/run_harness.hpp"

namespace oskev::analysis {
namespace {

namespace fs = std::filesystem;

struct Parsed {
  CommandLine command;
  std::string out, err;
};

Parsed parse(std::vector<std::string> arguments, Variant variant = Variant::kOskev) {
  std::ostringstream out, err;
  Parsed parsed{parse_command_line(variant, arguments, out, err), "", ""};
  parsed.out = out.str();
  parsed.err = err.str();
  return parsed;
}

TEST(CommandLine, NoArgumentsIsAPlainRun) {
  const Parsed p = parse({});
  EXPECT_FALSE(p.command.exit_status);
  EXPECT_FALSE(p.command.options.seed);
  EXPECT_FALSE(p.command.options.plot);
  EXPECT_EQ(p.command.options.run_limit, kMaxRuns);
}

TEST(CommandLine, SeedAndPlot) {
  EXPECT_EQ(parse({"--seed", "42"}).command.options.seed, 42);
  EXPECT_EQ(parse({"--seed=2147483646"}).command.options.seed, 2147483646);
  EXPECT_EQ(parse({"--seed", "1", "--plot", "q.svg"}).command.options.plot, fs::path("q.svg"));
  EXPECT_EQ(parse({"--plot=result.svg"}).command.options.plot, fs::path("result.svg"));
}

TEST(CommandLine, HelpAndVersionAnswerAtOnce) {
  const Parsed help = parse({"--help"}, Variant::kOskevV10);
  EXPECT_EQ(help.command.exit_status, 0);
  EXPECT_EQ(help.out.rfind("Usage: oskev-v1.0 [--seed N] [--plot FILE.svg]\n", 0), 0u);
  EXPECT_NE(help.out.find("study.txt"), std::string::npos);
  EXPECT_NE(help.out.find("output.txt"), std::string::npos);
  EXPECT_EQ(parse({"-h"}).command.exit_status, 0);
  const Parsed version = parse({"--version"});
  EXPECT_EQ(version.command.exit_status, 0);
  EXPECT_EQ(version.out.rfind("oskev (OSKEV) ", 0), 0u);
  EXPECT_EQ(parse({"--version"}, Variant::kOskevV10).out.rfind("oskev-v1.0 (OSKEV v1.0) ", 0), 0u);
}

TEST(CommandLine, BadOptionsAreRefusedWithAMessage) {
  const struct {
    std::vector<std::string> arguments;
    const char* message;
  } cases[] = {
      {{"--seed", "0"}, "oskev: --seed needs a whole number from 1 to 2147483646, not '0'\n"},
      {{"--seed", "2147483647"}, "oskev: --seed needs a whole number from 1 to 2147483646, not '2147483647'\n"},
      {{"--seed", "12.5"}, "oskev: --seed needs a whole number from 1 to 2147483646, not '12.5'\n"},
      {{"--seed", "abc"}, "oskev: --seed needs a whole number from 1 to 2147483646, not 'abc'\n"},
      {{"--seed"}, "oskev: --seed needs a whole number from 1 to 2147483646\n"},
      {{"--seed", "1", "--seed", "2"}, "oskev: --seed is given twice\n"},
      {{"--plot"}, "oskev: --plot needs the name of the picture to write, such as result.svg\n"},
      {{"--plot="}, "oskev: --plot needs the name of the picture to write, such as result.svg\n"},
      {{"--speed"}, "oskev: unknown option '--speed'\n"},
      {{"--help=yes"}, "oskev: unknown option '--help=yes'\n"},
      {{"study.txt"}, "oskev: unexpected argument 'study.txt': the program asks its questions on the console\n"},
  };
  for (const auto& c : cases) {
    const Parsed p = parse(c.arguments);
    EXPECT_EQ(p.command.exit_status, 64) << c.message;
    EXPECT_EQ(p.err, std::string(c.message) + "Try 'oskev --help'.\n");
    EXPECT_EQ(p.out, "");
  }
}

TEST(CommandLine, ARefusedOptionStopsBeforeAnythingElse) {
  testing::ScratchFolder folder;
  std::istringstream answers("3\n100\n0.5\n0.5\n1\n");
  std::ostringstream console, errors;
  random::FixedClock clock;
  const RunEnvironment environment{answers, console, errors, folder.path(), clock};
  EXPECT_EQ(program_main(Variant::kOskev, {"--seed", "x"}, environment), 64);
  EXPECT_EQ(console.str(), "");
  EXPECT_FALSE(fs::exists(folder.path() / "study.txt"));
}

TEST(CommandLine, ThePictureMayNotReplaceTheProgramsOwnFiles) {
  for (const char* name : {"study.txt", "./output.txt"}) {
    testing::ScratchFolder folder;
    testing::write_file(folder.path() / "study.txt", "1 2 3 4\n");
    std::istringstream answers("3\n100\n0.5\n0.5\n1\n");
    std::ostringstream console, errors;
    random::FixedClock clock;
    const RunEnvironment environment{answers, console, errors, folder.path(), clock};
    EXPECT_EQ(program_main(Variant::kOskev, {"--plot", name}, environment), 64);
    EXPECT_EQ(console.str(), "");
    EXPECT_NE(errors.str().find("would overwrite"), std::string::npos) << errors.str();
    EXPECT_EQ(testing::read_file(folder.path() / "study.txt"), "1 2 3 4\n");
  }
}

TEST(CommandLine, ThePictureIsWrittenOnlyAfterACompleteRun) {
  for (const bool complete : {true, false}) {
    testing::ScratchFolder folder;
    testing::write_file(folder.path() / "study.txt", complete ? "15 120 25 118\n0 54 3 60\n" : "15 120 25\n");
    std::istringstream answers("2\n100\n0.5\n0.5\n1\n");
    std::ostringstream console, errors;
    random::FixedClock clock;
    const RunEnvironment environment{answers, console, errors, folder.path(), clock};
    EXPECT_EQ(program_main(Variant::kOskevV10, {"--plot", "q.svg"}, environment), complete ? 0 : 2);
    EXPECT_EQ(fs::exists(folder.path() / "q.svg"), complete);
    if (complete) {
      EXPECT_EQ(testing::read_file(folder.path() / "q.svg").rfind("<?xml", 0), 0u);
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(folder.path()), {}), complete ? 3 : 1);
  }
}

// Counts readings of the time of day.
class CountingClock final : public random::Clock {
 public:
  explicit CountingClock(random::TimeOfDay time) : time_(time) {}
  random::TimeOfDay time_of_day() override {
    ++reads;
    return time_;
  }
  int reads = 0;

 private:
  random::TimeOfDay time_;
};

struct SeededRun {
  int status = -1;
  std::string console;
  std::string output;
  int clock_reads = 0;
};

SeededRun seeded_run(std::optional<std::int32_t> seed, random::TimeOfDay time, Variant variant = Variant::kOskev) {
  testing::ScratchFolder folder;
  testing::write_file(folder.path() / "study.txt", "15 120 25 118\n0 54 3 60\n0 40 0 38\n");
  std::istringstream answers("3\n1000\n0.5\n0.5\n2\n");
  std::ostringstream console, errors;
  CountingClock clock(time);
  const RunEnvironment environment{answers, console, errors, folder.path(), clock};
  RunOptions options;
  options.seed = seed;
  SeededRun run;
  run.status = run_program(variant, environment, options);
  run.console = console.str();
  run.output = testing::read_file(folder.path() / "output.txt");
  run.clock_reads = clock.reads;
  return run;
}

TEST(Seed, SameSeedSameRunWhateverTheTime) {
  const SeededRun morning = seeded_run(777, {8, 0, 0});
  const SeededRun night = seeded_run(777, {23, 59, 59});
  EXPECT_EQ(morning.status, 0);
  EXPECT_EQ(morning.console, night.console);
  EXPECT_EQ(morning.output, night.output);
  EXPECT_NE(seeded_run(778, {8, 0, 0}).output, morning.output);
}

TEST(Seed, ReplacesEveryReadingOfTheClock) {
  // Without a seed the clock is read once, for the simulation's private stream; with one, never.
  EXPECT_EQ(seeded_run(std::nullopt, {10, 30, 15}).clock_reads, 1);
  EXPECT_EQ(seeded_run(103016, {1, 2, 3}).clock_reads, 0);
  // A seed equal to a time's clock seed gives that time's run.
  EXPECT_EQ(seeded_run(103016, {1, 2, 3}).output, seeded_run(std::nullopt, {10, 30, 15}).output);
}

TEST(Seed, NoArgumentsChangesNothing) {
  testing::ScratchFolder a, b;
  for (const auto* folder : {&a, &b}) {
    testing::write_file(folder->path() / "study.txt", "15 120 25 118\n0 54 3 60\n0 40 0 38\n");
  }
  std::istringstream answers_a("3\n200\n0.5\n0.5\n1\n"), answers_b("3\n200\n0.5\n0.5\n1\n");
  std::ostringstream console_a, console_b, errors;
  random::FixedClock clock({10, 30, 15});
  EXPECT_EQ(program_main(Variant::kOskevV10, {}, {answers_a, console_a, errors, a.path(), clock}), 0);
  EXPECT_EQ(run_program(Variant::kOskevV10, {answers_b, console_b, errors, b.path(), clock}), 0);
  EXPECT_EQ(console_a.str(), console_b.str());
  EXPECT_EQ(testing::read_file(a.path() / "output.txt"), testing::read_file(b.path() / "output.txt"));
}

}  // namespace
}  // namespace oskev::analysis
