// What the programs meet of the operating system: line ends, file names in UTF-8, the
// names a system keeps for itself, and whole runs writing output.txt with the system's line
// ends. The built programs themselves are run by tests/programs/run_example.cmake.

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "analysis/program/platform.hpp"
#include "analysis/program/program.hpp"
#include "support/run_harness.hpp"

namespace oskev::analysis {
namespace {

namespace fs = std::filesystem;
using testing::read_file;
using testing::ScratchFolder;
using testing::write_file;

TEST(LineEnds, EveryLineFeedBecomesTheLineEndAskedFor) {
  EXPECT_EQ(with_line_ends("a\nb\n", "\r\n"), "a\r\nb\r\n");
  EXPECT_EQ(with_line_ends("\n\n", "\r\n"), "\r\n\r\n");
  EXPECT_EQ(with_line_ends("no end", "\r\n"), "no end");
  EXPECT_EQ(with_line_ends("", "\r\n"), "");
  EXPECT_EQ(with_line_ends("a\nb\n", "\n"), "a\nb\n");
  // A carriage return already in the text is the text's own, kept as it is.
  EXPECT_EQ(with_line_ends("50%\rdone\n", "\r\n"), "50%\rdone\r\n");
}

TEST(LineEnds, TheSystemsOwn) {
#ifdef _WIN32
  EXPECT_EQ(kNativeLineEnd, "\r\n");
#else
  EXPECT_EQ(kNativeLineEnd, "\n");
#endif
}

// output.txt of every recorded complete run, written with CR LF: the recorded records, each
// ending in CR LF, and nothing else changed; the console is left to its stream.
TEST(LineEnds, ResultsFileOfEveryRecordedRunWithCrLf) {
  const fs::path runs = fs::path(OSKEV_TEST_DATA_DIR) / "runs";
  int compared = 0;
  for (const auto& entry : fs::directory_iterator(runs)) {
    const fs::path folder = entry.path();
    if (!fs::exists(folder / "output.txt")) continue;
    testing::RunSetup setup;
    std::istringstream keys(read_file(folder / "case.txt"));
    std::string key, value;
    while (keys >> key >> value) {
      if (key == "program") setup.variant = value == "oskev-v1.0" ? Variant::kOskevV10 : Variant::kOskev;
      if (key == "time") {
        int h = 0, m = 0, s = 0;
        ASSERT_EQ(std::sscanf(value.c_str(), "%d:%d:%d", &h, &m, &s), 3);
        setup.time = {h, m, s};
      }
    }
    setup.answers = read_file(folder / "answers.txt");
    if (fs::exists(folder / "study.txt")) setup.study = read_file(folder / "study.txt");
    if (fs::exists(folder / "output.before.txt")) setup.output_before = read_file(folder / "output.before.txt");
    setup.line_end = "\r\n";
    const testing::RunOutcome outcome = testing::run_in_scratch(setup);
    ASSERT_TRUE(outcome.output.has_value()) << folder;
    EXPECT_EQ(*outcome.output, with_line_ends(read_file(folder / "output.txt"), "\r\n")) << folder;
    EXPECT_EQ(outcome.console, read_file(folder / "console.txt")) << folder;
    ++compared;
  }
  EXPECT_GE(compared, 10);
}

TEST(LineEnds, ResultsFileOfAnalyse) {
  ScratchFolder folder;
  write_file(folder.path() / "s.txt", "15 120 25 118\n0 54 3 60\n");
  std::istringstream in;
  std::ostringstream out, err;
  random::FixedClock clock;
  RunEnvironment environment{in, out, err, folder.path(), clock};
  environment.line_end = "\r\n";
  ASSERT_EQ(program_main(Variant::kOskev, {"analyse", "-r", "20", "--seed", "3", "-f", "csv", "s.txt"}, environment), 0);
  const std::string printed = out.str();
  ASSERT_EQ(program_main(Variant::kOskev, {"analyse", "-r", "20", "--seed", "3", "-f", "csv", "-o", "r.csv", "s.txt"},
                         environment),
            0)
      << err.str();
  EXPECT_EQ(read_file(folder.path() / "r.csv"), with_line_ends(printed, "\r\n"));
}

TEST(FileNames, Utf8NamesReachTheFileSystemWhole) {
  ScratchFolder folder;
  const std::string name = "r\xC3\xA9sultat-\xCE\xA9-\xE6\x95\xB0.txt";  // résultat-Ω-数.txt
  write_file(folder.path() / path_from_utf8(name), "x");
  int found = 0;
  for (const auto& entry : fs::directory_iterator(folder.path())) {
    EXPECT_EQ(utf8_name(entry.path().filename()), name);
    ++found;
  }
  EXPECT_EQ(found, 1);
  EXPECT_EQ(utf8_name(path_from_utf8("plots/" + name)), "plots/" + name);
}

TEST(FileNames, NamesTheSystemTellsApart) {
#ifdef _WIN32
  EXPECT_EQ(file_identity(fs::path("Plots\\BCG.svg")), file_identity(fs::path("plots/bcg.svg")));
  for (const char* device : {"nul", "NUL", "con.svg", "Aux.x.svg", "com1", "LPT9.svg", "prn"}) {
    EXPECT_TRUE(names_a_device(device)) << device;
  }
#else
  EXPECT_NE(file_identity(fs::path("plots/BCG.svg")), file_identity(fs::path("plots/bcg.svg")));
  EXPECT_FALSE(names_a_device("nul"));
  EXPECT_FALSE(names_a_device("con.svg"));
#endif
  for (const char* name : {"console", "nul_", "com0", "com10", "lpt", "bcg.svg", "_con.svg", ""}) {
    EXPECT_FALSE(names_a_device(name)) << name;
  }
}

// On Windows a meta-analysis named CON, or two named BCG and bcg, would otherwise write
// to the console or twice to one file.
TEST(FileNames, PicturesOfAnalyseAvoidDevicesAndClashes) {
  ScratchFolder folder;
  write_file(folder.path() / "t.csv", "meta,e1,s1,e2,s2\ncon,15,120,25,118\ncon,3,54,3,60\n"
                                      "BCG,15,120,25,118\nBCG,3,54,3,60\nbcg,15,120,25,118\nbcg,3,54,3,60\n");
  std::istringstream in;
  std::ostringstream out, err;
  random::FixedClock clock;
  const RunEnvironment environment{in, out, err, folder.path(), clock};
  const int status = program_main(
      Variant::kOskev, {"analyse", "-r", "20", "--seed", "3", "--plot", "{name}.svg", "t.csv"}, environment);
#ifdef _WIN32
  EXPECT_EQ(status, 64);
  EXPECT_NE(err.str().find("gives meta-analyses 2 and 3 the same picture"), std::string::npos) << err.str();
  EXPECT_EQ(program_main(Variant::kOskev, {"analyse", "-r", "20", "--seed", "3", "--plot", "{index}-{name}.svg", "t.csv"},
                         environment),
            0);
  EXPECT_TRUE(fs::exists(folder.path() / "1-_con.svg"));
#else
  EXPECT_EQ(status, 0) << err.str();
  EXPECT_TRUE(fs::exists(folder.path() / "con.svg"));
  EXPECT_TRUE(fs::exists(folder.path() / "BCG.svg"));
  EXPECT_TRUE(fs::exists(folder.path() / "bcg.svg"));
#endif
}

}  // namespace
}  // namespace oskev::analysis
