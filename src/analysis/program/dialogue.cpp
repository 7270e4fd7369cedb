#include "analysis/program/dialogue.hpp"

#include <string>

#include "errors/run_stopped.hpp"

namespace oskev::analysis {

namespace {

// The authors' credit: 51 characters with seven blanks on each side.
constexpr const char* kCredit = "       by the OSKEV meta-analysis developers       ";
static_assert(std::char_traits<char>::length(kCredit) == 51);

void banner(records::ListWriter& console) {
  console.empty_line();
  console.empty_line();
  console.write({"                         OSKEV                     "});
  console.write({kCredit});
  console.write({"*********************************************************"});
  console.write({"A software for testing extreme low homogeneity"});
  console.write({"in meta-analysis when risk ratios and"});
  console.write({"Mantel-Haenszel summary risk ratio estimate are used"});
  console.empty_line();
  console.empty_line();
  console.write({"To operate the software, put the exe file at C:\\ directory."});
  console.write({"Then, click \"start\", click \"run\", type \"cmd\", and click \"OK\"."});
  console.write({"At DOS, go to the root directory C:\\ and type OSKEV <enter>"});
  console.write({"Do NOT clik the ICON of the exe file"});
  console.empty_line();
  console.empty_line();
}

// Reads one answer and echoes it; OSKEV v1.0 puts an empty line between the two. Answers
// must be visible as questions before the program waits.
template <typename T>
T ask_and_echo(records::ListReader& answers, records::ListWriter& console, bool v10, const char* label) {
  T value{};
  console.stream().flush();
  answers.read({&value});
  if (v10) console.empty_line();
  console.write({label, value});
  return value;
}

// Stops the run right after an echo, with the reason on standard error.
[[noreturn]] void refuse(records::ListWriter& console, const std::string& report) {
  console.stream().flush();
  throw errors::RunStopped(errors::kExitRefused, report);
}

void refuse_above(std::int32_t value, std::int32_t limit, const char* what, records::ListWriter& console) {
  if (value <= limit) return;
  refuse(console, "the number of " + std::string(what) + ", " + std::to_string(value) + ", is above the limit of " +
                      std::to_string(limit));
}

// A negative correction would take events away from a zero cell: every estimate built on it
// is meaningless.
void refuse_negative(float correction, records::ListWriter& console) {
  if (!(correction < 0.0f)) return;
  std::string shown = records::format_single(correction);
  shown.erase(0, shown.find_first_not_of(' '));
  shown.erase(shown.find_last_not_of(' ') + 1);
  refuse(console, "a continuity correction must be 0 or more, not " + shown);
}

}  // namespace

RunParameters run_dialogue(Variant variant, records::ListReader& answers, records::ListWriter& console,
                           std::int32_t run_limit) {
  const bool v10 = variant == Variant::kOskevV10;
  RunParameters p;
  banner(console);

  console.write({"How many studies ?"});
  p.NSTUDY = ask_and_echo<std::int32_t>(answers, console, v10, "studies=");
  refuse_above(p.NSTUDY, kMaxStudies, "studies", console);
  console.empty_line();

  console.write({"How runs ?"});
  p.NRUNS = ask_and_echo<std::int32_t>(answers, console, v10, "runs=");
  refuse_above(p.NRUNS, run_limit, "runs", console);
  console.empty_line();

  console.write({"What is the continuity correction"});
  console.write({"for studies with zero events for one arm?"});
  p.CCONE = ask_and_echo<float>(answers, console, v10, "continuity correction=");
  refuse_negative(p.CCONE, console);
  console.empty_line();

  console.write({"What is the continuity correction"});
  console.write({"for studies with zero events in both arms?"});
  p.CCBOTH = ask_and_echo<float>(answers, console, v10, "continuity correction=");
  refuse_negative(p.CCBOTH, console);
  console.empty_line();

  console.write({"What type of estimation ?"});
  console.write({"For fixed prevalence of total events type \"1\""});
  console.write({"For random prevalence of total events type \"2\""});
  p.IOPT = ask_and_echo<std::int32_t>(answers, console, v10, v10 ? "Type of estimation=" : "option=");
  if (p.IOPT != 1 && p.IOPT != 2) {
    refuse(console, "the type of estimation must be 1 (fixed prevalence of total events) or 2 (random prevalence "
                    "of total events), not " + std::to_string(p.IOPT));
  }
  if (v10) console.empty_line();
  return p;
}

void announce_results_file(records::ListWriter& console) {
  console.write({"see file \"output\" for the results"});
}

std::vector<Study> read_study_file(records::ListReader& study, std::int32_t nstudy) {
  std::vector<Study> studies(nstudy > 0 ? static_cast<std::size_t>(nstudy) : 0);
  std::vector<records::ListReader::Target> targets;
  targets.reserve(4 * studies.size());
  for (Study& s : studies) {
    for (std::int32_t* value : {&s.e1, &s.s1, &s.e2, &s.s2}) targets.emplace_back(value);
  }
  study.read(targets);
  return studies;
}

}  // namespace oskev::analysis
