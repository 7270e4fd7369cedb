// `oskev analyse` and the dialogue under hostile or careless use: outputs that would overwrite
// an input or each other, output places that cannot be written, and names (a file's, an
// argument, a meta-analysis's) in every message, table and picture: one short line, with
// nothing that steers a terminal or turns text around.
#include <gtest/gtest.h>

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

using Outcome = testing::CommandOutcome;

Outcome run(const fs::path& folder, const std::vector<std::string>& arguments, const std::string& input = "2\n100\n0.5\n0.5\n1\n",
            const std::string& answers_file = "") {
  return testing::run_command(folder, arguments, {input, {10, 30, 15}, false, answers_file});
}

const char* const kTable = "meta,e1,s1,e2,s2\nA,15,120,25,118\nA,5,54,3,60\nB,1,20,2,20\nB,3,30,4,30\n";

// No output takes the place of an input, whatever name reaches it; nothing is analysed and the
// input stays as it was.
TEST(HostileOutputs, AnOutputThatIsAnInputIsRefused) {
  ScratchFolder folder;
  write_file(folder.path() / "in.csv", kTable);
  write_file(folder.path() / "one.csv", "15 120 25 118\n5 54 3 60\n");
  const std::string in_file = resolved_identity(folder.path() / "in.csv");
  const struct {
    std::vector<std::string> arguments;
    std::string answers_file;
    const char* report;
  } cases[] = {
      {{"-o", "in.csv", "in.csv"}, "", "-o in.csv would overwrite the input in.csv"},
      {{"-o", "./in.csv", "in.csv"}, "", "-o ./in.csv would overwrite the input in.csv"},
      {{"-o", (folder.path() / "in.csv").string(), "./in.csv"}, "", "would overwrite the input ./in.csv"},
      {{"--plot", "one.csv", "one.csv"}, "", "--plot one.csv would overwrite the input one.csv"},
      {{"-o", "in.csv", "-"}, in_file, "-o in.csv would overwrite the input on standard input"},
#ifndef _WIN32
      {{"-o", "link.csv", "in.csv"}, "", "-o link.csv would overwrite the input in.csv"},
      {{"-o", "hard.csv", "in.csv"}, "", "-o hard.csv would overwrite the input in.csv"},
#endif
  };
#ifndef _WIN32
  fs::create_symlink("in.csv", folder.path() / "link.csv");
  fs::create_hard_link(folder.path() / "in.csv", folder.path() / "hard.csv");
#endif
  for (const auto& c : cases) {
    std::vector<std::string> arguments{"analyse", "-r", "20", "--seed", "5"};
    arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
    const Outcome o = run(folder.path(), arguments, kTable, c.answers_file);
    EXPECT_EQ(o.status, 64) << c.report;
    EXPECT_NE(o.err.find(c.report), std::string::npos) << o.err;
    EXPECT_EQ(o.out, "");
    EXPECT_EQ(read_file(folder.path() / "in.csv"), kTable);
  }
}

TEST(HostileOutputs, OutputsThatAreOneFileAreRefused) {
  ScratchFolder folder;
  write_file(folder.path() / "t.csv", kTable);
  write_file(folder.path() / "one.csv", "15 120 25 118\n5 54 3 60\n");
  const Outcome same = run(folder.path(), {"analyse", "--plot", "r.csv", "-o", "r.csv", "one.csv"});
  EXPECT_EQ(same.status, 64);
  EXPECT_EQ(same.err, "oskev analyse: -o r.csv and --plot r.csv are the same file\n");
  // Names that differ as text but reach one file: through "..", before the folders exist.
  const Outcome dots = run(folder.path(), {"analyse", "--plot", "c/{index}/../x.svg", "t.csv"});
  EXPECT_EQ(dots.status, 64);
  EXPECT_NE(dots.err.find("gives meta-analyses 1 and 2 the same picture"), std::string::npos) << dots.err;
  EXPECT_FALSE(fs::exists(folder.path() / "c")) << "no folder is made for a refused run";
  EXPECT_FALSE(fs::exists(folder.path() / "r.csv"));
  // Devices are written to, never replaced: two outputs there overwrite nothing.
#ifndef _WIN32
  const Outcome devices = run(folder.path(), {"analyse", "-r", "20", "--plot", "/dev/null", "-o", "/dev/null", "t.csv"});
  EXPECT_EQ(devices.status, 0) << devices.err;
#endif
}

// Every output place is tried before the first meta-analysis: a run that could not keep its
// results does no work.
TEST(HostileOutputs, OutputPlacesAreTriedBeforeAnyWork) {
  ScratchFolder folder;
  write_file(folder.path() / "t.csv", kTable);
  write_file(folder.path() / "file", "a plain file\n");
  const Outcome missing = run(folder.path(), {"analyse", "-o", "missing/x.csv", "t.csv"});
  EXPECT_EQ(missing.status, 4);
  EXPECT_EQ(missing.err, "oskev analyse: cannot write missing/x.csv: the folder missing does not exist\n");
  EXPECT_EQ(missing.out, "") << "no results: nothing was analysed";
  const Outcome file = run(folder.path(), {"analyse", "--plot", "file/{name}.svg", "t.csv"});
  EXPECT_EQ(file.status, 4);
  EXPECT_EQ(file.err, "oskev analyse: cannot write file/A.svg: file is not a folder\n");
  EXPECT_EQ(file.out, "");
  EXPECT_EQ(read_file(folder.path() / "file"), "a plain file\n");
  // An input that does not exist is reported as unread; as an output it overwrites nothing.
  const Outcome unread = run(folder.path(), {"analyse", "-o", "gone.csv", "gone.csv"});
  EXPECT_EQ(unread.status, 2);
  EXPECT_EQ(unread.err, "oskev analyse: gone.csv: cannot be opened\n");
  // Folders of pictures are made as their writing would make them.
  const Outcome made = run(folder.path(), {"analyse", "-r", "20", "--plot", "new/{name}/p.svg", "t.csv"});
  EXPECT_EQ(made.status, 0) << made.err;
  EXPECT_TRUE(fs::exists(folder.path() / "new" / "B" / "p.svg"));
}

// The dialogue compares its picture with study.txt and output.txt by the files the names reach.
TEST(HostileOutputs, TheDialoguesPictureNeverReplacesItsOwnFiles) {
#ifdef _WIN32
  GTEST_SKIP() << "links need a privilege on Windows";
#else
  ScratchFolder folder;
  write_file(folder.path() / "study.txt", "15 120 25 118\n5 54 3 60\n");
  fs::create_hard_link(folder.path() / "study.txt", folder.path() / "copy.txt");
  fs::create_symlink("study.txt", folder.path() / "link.svg");
  for (const char* name : {"copy.txt", "link.svg", "./study.txt"}) {
    const Outcome o = run(folder.path(), {"--seed", "5", "--plot", name});
    EXPECT_EQ(o.status, 64) << name;
    EXPECT_EQ(o.err, "oskev: --plot " + std::string(name) + " would overwrite study.txt\n");
  }
  EXPECT_EQ(read_file(folder.path() / "study.txt"), "15 120 25 118\n5 54 3 60\n");
#endif
}

const char* const kEsc = "\x1b";
const char* const kRightToLeft = "\xE2\x80\xAE";  // U+202E

TEST(HostileNames, MessagesAreOneShortSafeLine) {
  ScratchFolder folder;
  const std::string long_name = std::string(10000, 'p') + ".csv";
#ifndef _WIN32  // Windows takes no control characters in file names
  write_file(folder.path() / ("bad\x1b[2J.csv"), "1 2 x 4\n");
#endif
  const struct {
    std::vector<std::string> arguments;
    int status;
    std::string report;
  } cases[] = {
      {{"analyse", long_name}, 2,
       "oskev analyse: " + std::string(39, 'p') + "..." + std::string(34, 'p') + ".csv: cannot be opened\n"},
      {{"analyse", "x\x1b]0;owned\x07.csv"}, 2, "oskev analyse: x?]0;owned?.csv: cannot be opened\n"},
#ifndef _WIN32
      {{"analyse", "bad\x1b[2J.csv"}, 2, "oskev analyse: bad?[2J.csv:1:5: \"x\" (e2 of study 1) is not a whole number\n"},
      {{"analyse", "-o", "none/\x1b[2J.csv", "bad\x1b[2J.csv"}, 4, ""},
#endif
      {{"analyse", "--cc-one", "\x1b[2J", "f"}, 64,
       "oskev analyse: --cc-one must be a number, 0 or more, not '?[2J'\nTry 'oskev analyse --help'.\n"},
      {{"analyse", "--type", "\x1b[2J", "f"}, 64, ""},
      {{"analyse", "--bogus" + long_name + "\x1b", "f"}, 64, ""},
      {{"--bogus\x1b[2J"}, 64, "oskev: unknown option '--bogus?[2J'\nTry 'oskev --help'.\n"},
      {{"--seed", "\xE2\x80\xAE" "5"}, 64, "oskev: --seed needs a whole number from 1 to 2147483646, not '?5'\nTry 'oskev --help'.\n"},
  };
  for (const auto& c : cases) {
    const Outcome o = run(folder.path(), c.arguments);
    EXPECT_EQ(o.status, c.status) << c.arguments.back();
    if (!c.report.empty()) {
      EXPECT_EQ(o.err, c.report);
    }
    EXPECT_EQ(o.err.find(kEsc), std::string::npos) << o.err;
    std::istringstream lines(o.err);
    for (std::string line; std::getline(lines, line);) EXPECT_LE(line.size(), 400u) << line.substr(0, 100);
  }
}

TEST(HostileNames, TablesAndPicturesShowNoControls) {
  ScratchFolder folder;
  write_file(folder.path() / "t.csv",
             std::string("meta,study,e1,s1,e2,s2\n") + "a" + kRightToLeft + "vsc.exe,Smith" + kEsc +
                 "[31m,15,120,25,118\n" + "a" + kRightToLeft + "vsc.exe,Jones,5,54,3,60\n");
  const Outcome table = run(folder.path(), {"analyse", "-r", "20", "--seed", "5", "--plot", "p{index}.svg", "t.csv"});
  ASSERT_EQ(table.status, 0) << table.err;
  EXPECT_EQ(table.out.find(kRightToLeft), std::string::npos) << table.out;
  EXPECT_NE(table.out.find("a?vsc.exe"), std::string::npos) << table.out;
  const std::string svg = read_file(folder.path() / "p1.svg");
  EXPECT_EQ(svg.find(kRightToLeft), std::string::npos);
  EXPECT_EQ(svg.find(kEsc), std::string::npos);
  EXPECT_NE(svg.find(">a\xEF\xBF\xBDvsc.exe<"), std::string::npos);
  // JSON keeps every name exact, escaped as JSON escapes it.
  const Outcome json = run(folder.path(), {"analyse", "-r", "20", "--seed", "5", "-f", "json", "t.csv"});
  EXPECT_NE(json.out.find(std::string("\"name\": \"a") + kRightToLeft + "vsc.exe\""), std::string::npos) << json.out;
}

}  // namespace
}  // namespace oskev::analysis
