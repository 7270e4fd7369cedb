// `oskev analyse` driven in-process: the same numbers as the dialogue, batches in input order
// whatever the jobs, failures that leave the rest of a batch alone, and the exit statuses.
#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <nlohmann/json.hpp>
#include <sstream>

#include "analysis/program/program.hpp"
#include "analysis/records/list_writer.hpp"
#include "support/run_harness.hpp"

namespace oskev::analysis {
namespace {

namespace fs = std::filesystem;
using testing::read_file;
using testing::ScratchFolder;
using testing::write_file;

using Outcome = testing::CommandOutcome;

Outcome run(const fs::path& folder, std::vector<std::string> arguments, const std::string& input = "",
            random::TimeOfDay time = {10, 30, 15}, bool terminal = false) {
  arguments.insert(arguments.begin(), "analyse");
  return testing::run_command(folder, arguments, {input, time, terminal, ""});
}

float as_float(const nlohmann::json& value) {
  // The shortest decimal of a float reads back as that very float.
  const std::string text = value.dump();
  float x = 0.0f;
  std::from_chars(text.data(), text.data() + text.size(), x);
  return x;
}

std::string list_record(std::initializer_list<records::Item> items) {
  std::ostringstream text;
  records::ListWriter writer(text);
  writer.write(items);
  return text.str();
}

// A dialogue run with --seed and the same meta-analysis on the command line: returns what the
// dialogue printed and the command line's JSON results.
struct SideBySide {
  std::string printed;
  nlohmann::json results;
};

SideBySide side_by_side(Variant variant, const std::string& study, int studies, const char* runs, const char* type,
                        const char* seed) {
  ScratchFolder folder;
  write_file(folder.path() / "study.txt", study);
  std::istringstream answers(std::to_string(studies) + "\n" + runs + "\n0.5\n0.5\n" + type + "\n");
  std::ostringstream console, errors;
  random::FixedClock clock({10, 30, 15});
  const RunEnvironment environment{answers, console, errors, folder.path(), clock};
  EXPECT_EQ(program_main(variant, {"--seed", seed}, environment), 0) << errors.str();
  const Outcome o = run(folder.path(), {"-r", runs, "-t", type, "--seed", seed, "-f", "json", "study.txt"});
  EXPECT_EQ(o.status, 0) << o.err;
  return {console.str(), nlohmann::json::parse(o.out)["meta_analyses"][0]["results"]};
}

bool printed(const SideBySide& s, std::initializer_list<records::Item> record) {
  return s.printed.find(list_record(record)) != std::string::npos;
}

// The BCG trials of examples/bcg under fixed and random prevalence, in a dialogue run and on
// the command line with the same seed: every value the dialogue prints is the command line's.
TEST(AnalyseCommand, GivesTheDialoguesValues) {
  const std::string study = read_file(fs::path(OSKEV_TEST_DATA_DIR) / "runs" / "bcg-oskev" / "study.txt");
  for (const char* type : {"1", "2"}) {
    const SideBySide s = side_by_side(Variant::kOskev, study, 13, "3000", type, "271828");
    const auto& r = s.results;
    EXPECT_TRUE(printed(s, {"RRMHobs=", as_float(r["rrmh"])}));
    EXPECT_TRUE(printed(s, {"Qobs=", as_float(r["q"])}));
    EXPECT_TRUE(printed(s, {"P-value for asymptotic heterogeneity test", r["p_asymptotic"].get<double>()}));
    EXPECT_TRUE(printed(s, {"Extreme homegenity: left sided P-value for Q=", as_float(r["p_left"])}));
    EXPECT_EQ(as_float(r["p_left"]), static_cast<float>(r["not_above"].get<double>() / 3000.0));
  }
}

// The dialogue's largest simulation, 100 studies and 80000 runs, is one slice of the command
// line's: both print and write the same.
TEST(AnalyseCommand, TheDialoguesLargestRunIsTheSame) {
  std::string study;
  for (int i = 0; i < 100; ++i) {
    // Arm rates 5% to 40%, arm 2 off by a few events: Q near its degrees of freedom, so the
    // left-sided P-value is neither 0 nor 1.
    const int s1 = 50 + (i * 37) % 451, s2 = 50 + (i * 53) % 451, rate = 5 + i % 36;
    const int e2 = std::max(0, s2 * rate / 100 + (i * 7) % 21 - 10);
    study += std::to_string(s1 * rate / 100) + " " + std::to_string(s1) + " " + std::to_string(e2) + " " +
             std::to_string(s2) + "\n";
  }
  for (const char* type : {"1", "2"}) {
    const SideBySide s = side_by_side(Variant::kOskevV10, study, 100, "80000", type, "8675309");
    const auto& r = s.results;
    EXPECT_TRUE(printed(s, {"RR-MH observed =", as_float(r["rrmh"])}));
    EXPECT_TRUE(printed(s, {"Q observed =", as_float(r["q"])}));
    EXPECT_TRUE(printed(s, {"Extreme homegenity: left sided P-value =", as_float(r["p_left"])}));
    EXPECT_GT(r["not_above"].get<int>(), 0);
    EXPECT_LT(r["not_above"].get<int>(), 80000);
  }
}

const char* const kBatch =
    "meta,study,ai,n1i,ci,n2i\n"
    "a,one,15,120,25,118\na,two,0,54,3,60\na,three,0,40,0,38\n"
    "b,lone,3,10,6,10\n"
    "c,x,30,200,45,210\nc,y,4,25,9,26\nc,z,12,80,10,82\n"
    "a,four,8,50,9,52\n";

TEST(AnalyseCommand, BatchesComeOutInInputOrderWhateverTheJobs) {
  ScratchFolder folder;
  write_file(folder.path() / "batch.csv", kBatch);
  const Outcome one = run(folder.path(), {"-j", "1", "-r", "2000", "-f", "csv", "--seed", "5", "batch.csv"});
  for (const char* jobs : {"2", "3", "8"}) {
    const Outcome many = run(folder.path(), {"-j", jobs, "-r", "2000", "-f", "csv", "--seed", "5", "batch.csv"});
    EXPECT_EQ(many.out, one.out) << jobs;
    EXPECT_EQ(many.status, one.status);
  }
  // The lone study of b cannot be analysed: its row says so with the library's message, and
  // the others are analysed.
  EXPECT_EQ(one.status, 3);
  const auto a = one.out.find("\nbatch.csv,a,ok,,4,");
  const auto b = one.out.find("\nbatch.csv,b,library stop,\"");  // the message has line breaks: quoted
  const auto c = one.out.find("\nbatch.csv,c,ok,,3,");
  ASSERT_NE(a, std::string::npos) << one.out;
  ASSERT_NE(c, std::string::npos) << one.out;
  EXPECT_TRUE(a < b && b < c) << one.out;
  EXPECT_NE(one.out.find("TERMINAL ERROR 2 from DCHIDF", b), std::string::npos);
}

TEST(AnalyseCommand, ABadCellNamesItsPlaceAndTheOtherFilesGoOn) {
  ScratchFolder folder;
  write_file(folder.path() / "bad.csv", "e1,s1,e2,s2\n1,10,2,10\n3,ten,4,10\n");
  write_file(folder.path() / "good.txt", "15 120 25 118\n0 54 3 60\n");
  const Outcome o = run(folder.path(), {"-r", "100", "-f", "csv", "--seed", "9", "bad.csv", "good.txt"});
  EXPECT_EQ(o.status, 2);
  EXPECT_EQ(o.err.rfind("oskev analyse: bad.csv:3:3: ", 0), 0u) << o.err;
  EXPECT_EQ(o.out.find("bad.csv"), std::string::npos);
  EXPECT_NE(o.out.find("good.txt,good.txt,ok"), std::string::npos) << o.out;
}

TEST(AnalyseCommand, ReadsStandardInputAndReportsTheClockSeed) {
  ScratchFolder folder;
  const Outcome o = run(folder.path(), {"-r", "50", "-f", "json", "-"}, "15 120 25 118\n0 54 3 60\n", {10, 30, 15});
  ASSERT_EQ(o.status, 0) << o.err;
  const auto entry = nlohmann::json::parse(o.out)["meta_analyses"][0];
  EXPECT_EQ(entry["source"], "-");
  EXPECT_EQ(entry["settings"]["seed"], 103016);  // 10:30:15, as the dialogue's clock seed
  const Outcome again = run(folder.path(), {"-r", "50", "-f", "json", "--seed", "103016", "-"},
                            "15 120 25 118\n0 54 3 60\n", {23, 59, 59});
  EXPECT_EQ(again.out, o.out);
}

// A progress line on standard error only when a person watches it there.
TEST(AnalyseCommand, ProgressLineOnlyOnATerminal) {
  ScratchFolder folder;
  write_file(folder.path() / "batch.csv", kBatch);
  const std::vector<std::string> arguments{"-r", "300", "--seed", "2", "-f", "csv", "batch.csv"};
  const Outcome quiet = run(folder.path(), arguments);
  EXPECT_EQ(quiet.err, "");
  const Outcome watched = run(folder.path(), arguments, "", {10, 30, 15}, true);
  EXPECT_NE(watched.err.find("\ranalysed 3 of 3 meta-analyses"), std::string::npos) << watched.err;
  EXPECT_EQ(watched.err.back(), '\n');
  EXPECT_EQ(watched.out, quiet.out);
}

TEST(AnalyseCommand, SequentialStoppingIsReported) {
  ScratchFolder folder;
  write_file(folder.path() / "s.txt", "15 120 25 118\n0 54 3 60\n30 200 45 210\n4 25 9 26\n");
  const Outcome o = run(folder.path(), {"-r", "100000", "--stop-after", "20", "-f", "json", "--seed", "3", "s.txt"});
  ASSERT_EQ(o.status, 0) << o.err;
  const auto entry = nlohmann::json::parse(o.out)["meta_analyses"][0];
  EXPECT_EQ(entry["settings"]["stop_after"], 20);
  EXPECT_EQ(entry["results"]["rule"], "Besag-Clifford");
  EXPECT_EQ(entry["results"]["not_above"], 20);
  EXPECT_LT(entry["results"]["runs"].get<std::int64_t>(), 100000);
  EXPECT_EQ(entry["results"]["p_left_interval"], "inverse binomial");
}

// With no correction a zero cell leaves the observed Q not a number: the row says why, has no
// P left, and the batch exits 3; the CSV names its columns in the field's words.
TEST(AnalyseCommand, AnObservedQThatIsNotANumberHasNoPLeft) {
  ScratchFolder folder;
  write_file(folder.path() / "t.csv", "meta,e1,s1,e2,s2\nz,5,10,0,10\nz,4,12,6,11\nf,15,120,25,118\nf,4,25,9,26\n");
  const Outcome csv = run(folder.path(), {"--cc-one", "0", "-r", "50", "--seed", "8", "-f", "csv", "t.csv"});
  EXPECT_EQ(csv.status, 3);
  const std::string header = csv.out.substr(0, csv.out.find('\n'));
  EXPECT_EQ(header.find(",iopt,"), std::string::npos) << header;
  EXPECT_NE(header.find(",type,cc_one,cc_both,seed,"), std::string::npos) << header;
  const auto entries =
      nlohmann::json::parse(run(folder.path(), {"--cc-one", "0", "-r", "50", "--seed", "8", "-f", "json", "t.csv"}).out)
          ["meta_analyses"];
  EXPECT_EQ(entries[0]["status"], "Q undefined");
  EXPECT_NE(entries[0]["message"].get<std::string>().find("observed Q is not a number"), std::string::npos);
  EXPECT_EQ(entries[0]["results"]["q"], "NaN");
  EXPECT_EQ(entries[0]["results"]["p_left"], "NaN");
  EXPECT_EQ(entries[0]["results"]["p_left_ci"], nlohmann::json::array({"NaN", "NaN"}));
  EXPECT_EQ(entries[1]["status"], "ok");
  EXPECT_TRUE(entries[1]["results"]["p_left"].is_number());
}

TEST(AnalyseCommand, TheLevelSetsTheIntervals) {
  ScratchFolder folder;
  write_file(folder.path() / "s.txt", "15 120 25 118\n0 54 3 60\n30 200 45 210\n4 25 9 26\n");
  auto results = [&](const char* level) {
    const Outcome o = run(folder.path(), {"-r", "400", "--seed", "3", "--level", level, "-f", "json", "s.txt"});
    EXPECT_EQ(o.status, 0) << o.err;
    return nlohmann::json::parse(o.out)["meta_analyses"][0];
  };
  const auto at95 = results("95"), at80 = results("80");
  EXPECT_EQ(at80["settings"]["level"], 0.8);
  EXPECT_EQ(at80["results"]["not_above"], at95["results"]["not_above"]);
  EXPECT_GT(at80["results"]["rrmh_ci"][0].get<double>(), at95["results"]["rrmh_ci"][0].get<double>());
  EXPECT_LT(at80["results"]["p_left_ci"][1].get<double>(), at95["results"]["p_left_ci"][1].get<double>());
}

TEST(AnalyseCommand, PicturesOnePerMetaAnalysis) {
  ScratchFolder folder;
  write_file(folder.path() / "batch.csv", kBatch);
  Outcome o = run(folder.path(), {"-r", "200", "--seed", "5", "--plot", "plots/{index}-{name}.svg", "batch.csv"});
  EXPECT_EQ(o.status, 3);  // b fails, and gets no picture
  EXPECT_TRUE(fs::exists(folder.path() / "plots" / "1-a.svg"));
  EXPECT_FALSE(fs::exists(folder.path() / "plots" / "2-b.svg"));
  const std::string svg = read_file(folder.path() / "plots" / "3-c.svg");
  EXPECT_NE(svg.find(">x<"), std::string::npos);  // the study labels

  o = run(folder.path(), {"-r", "200", "--seed", "5", "--plot", "same.svg", "batch.csv"});
  EXPECT_EQ(o.status, 64);
  EXPECT_NE(o.err.find("the same picture"), std::string::npos);
}

TEST(AnalyseCommand, ResultsFileAndItsFailure) {
  ScratchFolder folder;
  write_file(folder.path() / "s.txt", "15 120 25 118\n0 54 3 60\n");
  Outcome o = run(folder.path(), {"-r", "50", "--seed", "3", "-f", "csv", "-o", "out.csv", "s.txt"});
  EXPECT_EQ(o.status, 0);
  EXPECT_EQ(o.out, "");
  EXPECT_NE(read_file(folder.path() / "out.csv").find("s.txt,s.txt,ok"), std::string::npos);
  // A place that cannot take the file is refused before any work.
  o = run(folder.path(), {"-r", "50", "--seed", "3", "-f", "csv", "-o", "no/such/folder/out.csv", "s.txt"});
  EXPECT_EQ(o.status, 4);
  EXPECT_EQ(o.out, "");
  EXPECT_EQ(o.err, "oskev analyse: cannot write no/such/folder/out.csv: the folder no/such/folder does not exist\n");
#ifndef _WIN32
  // Results that cannot go to their file at the end (a full device) are not lost: they come on
  // standard output.
  if (fs::exists("/dev/full")) {
    o = run(folder.path(), {"-r", "50", "--seed", "3", "-f", "csv", "-o", "/dev/full", "s.txt"});
    EXPECT_EQ(o.status, 4);
    EXPECT_NE(o.out.find("s.txt,s.txt,ok"), std::string::npos);
    EXPECT_EQ(o.err, "oskev analyse: cannot write /dev/full: No space left on device; the results follow on "
                     "standard output\n");
  }
#endif
}

// /dev/null and other devices are written to, not replaced by a plain file.
TEST(AnalyseCommand, ADeviceAsResultsFileStaysADevice) {
#ifdef _WIN32
  GTEST_SKIP() << "/dev/null and symbolic links are POSIX's; Windows's NUL has a test of its own";
#endif
  ScratchFolder folder;
  write_file(folder.path() / "s.txt", "15 120 25 118\n0 54 3 60\n");
  // Through a link of the test's own, so that a fault replaces only the link.
  fs::create_symlink("/dev/null", folder.path() / "sink");
  const Outcome o = run(folder.path(), {"-r", "20", "--seed", "3", "-o", "sink", "s.txt"});
  EXPECT_EQ(o.status, 0) << o.err;
  EXPECT_TRUE(fs::is_symlink(folder.path() / "sink"));
  EXPECT_TRUE(fs::is_character_file("/dev/null"));
}

// Results lost on standard output (a full disk, a closed pipe) are the most serious failure.
TEST(AnalyseCommand, LostStandardOutputIsAFailure) {
  ScratchFolder folder;
  write_file(folder.path() / "s.txt", "15 120 25 118\n0 54 3 60\n");
  auto lost = [&](std::vector<std::string> arguments) {
    std::istringstream in;
    testing::FailingStream out;
    std::ostringstream err;
    random::FixedClock clock;
    const RunEnvironment environment{in, out, err, folder.path(), clock};
    arguments.insert(arguments.begin(), "analyse");
    Outcome o;
    o.status = program_main(Variant::kOskev, arguments, environment);
    o.err = err.str();
    return o;
  };
  const std::string report = "oskev analyse: cannot write to standard output\n";
  Outcome o = lost({"-r", "20", "--seed", "3", "s.txt"});
  EXPECT_EQ(o.status, 4);
  EXPECT_EQ(o.err, report);
  o = lost({"--help"});
  EXPECT_EQ(o.status, 4);
  EXPECT_EQ(o.err, report);
  // It outranks a file not read.
  o = lost({"-r", "20", "--seed", "3", "s.txt", "nowhere.csv"});
  EXPECT_EQ(o.status, 4);
  EXPECT_EQ(o.err, "oskev analyse: nowhere.csv: cannot be opened\n" + report);
  // Results that go to their file need no standard output.
  o = lost({"-r", "20", "--seed", "3", "-o", "out.txt", "s.txt"});
  EXPECT_EQ(o.status, 0);
  EXPECT_EQ(o.err, "");
  EXPECT_NE(read_file(folder.path() / "out.txt").find("s.txt"), std::string::npos);
  // A bad command line writes to standard error only, and keeps its status.
  o = lost({"--bogus", "s.txt"});
  EXPECT_EQ(o.status, 64);
  EXPECT_EQ(o.err.find("cannot write"), std::string::npos);
}

// A picture that cannot be written is named by the path the pattern gave it, and refused
// before any work.
TEST(AnalyseCommand, APictureFailureNamesItsPath) {
  ScratchFolder folder;
  write_file(folder.path() / "s.txt", "15 120 25 118\n0 54 3 60\n");
  write_file(folder.path() / "notes.txt", "notes\n");
  const Outcome o = run(folder.path(), {"-r", "20", "--seed", "3", "--plot", "notes.txt/{name}.svg", "-o", "out.txt",
                                        "s.txt"});
  EXPECT_EQ(o.status, 4);
  EXPECT_EQ(o.err, "oskev analyse: cannot write notes.txt/s.txt.svg: notes.txt is not a folder\n");
  EXPECT_FALSE(fs::exists(folder.path() / "out.txt"));
}

TEST(AnalyseCommand, CommandLineErrorsAndHelp) {
  ScratchFolder folder;
  const Outcome help = run(folder.path(), {"--help"});
  EXPECT_EQ(help.status, 0);
  for (const char* option : {"--runs", "--cc-one", "--cc-both", "--type", "--seed", "--stop-after", "--level", "--format",
                             "--output", "--jobs", "--plot", "Exit status", "\"NaN\""}) {
    EXPECT_NE(help.out.find(option), std::string::npos) << option;
  }
  for (const std::vector<std::string>& bad :
       std::vector<std::vector<std::string>>{{},
                                             {"-r", "0", "x"},
                                             {"--cc-one", "-1", "x"},
                                             {"--cc-both", "abc", "x"},
                                             {"-t", "3", "x"},
                                             {"--seed", "2147483647", "x"},
                                             {"-f", "xml", "x"},
                                             {"--level", "100", "x"},
                                             {"--level", "0", "x"},
                                             {"--bogus", "x"}}) {
    const Outcome o = run(folder.path(), bad);
    EXPECT_EQ(o.status, 64) << (bad.empty() ? "" : bad.front());
    EXPECT_NE(o.err.find("Try 'oskev analyse --help'."), std::string::npos);
  }
  const Outcome missing = run(folder.path(), {"nowhere.csv"});
  EXPECT_EQ(missing.status, 2);
  EXPECT_EQ(missing.err, "oskev analyse: nowhere.csv: cannot be opened\n");
}

}  // namespace
}  // namespace oskev::analysis
