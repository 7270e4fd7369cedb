#include "analysis/dialogue.hpp"

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

// Answers must be visible as questions before the program waits.
template <typename T>
void ask(records::ListReader& answers, records::ListWriter& console, T& value) {
  console.stream().flush();
  answers.read({&value});
}

void refuse_above(std::int32_t value, std::int32_t limit, const char* what, records::ListWriter& console) {
  if (value <= limit) return;
  console.stream().flush();
  throw errors::RunStopped(errors::kExitRefused, "the number of " + std::string(what) + ", " +
                                                     std::to_string(value) + ", is above the limit of " +
                                                     std::to_string(limit));
}

// A negative correction would take events away from a zero cell: every estimate built on it
// is meaningless.
void refuse_negative(float correction, records::ListWriter& console) {
  if (!(correction < 0.0f)) return;
  console.stream().flush();
  std::string shown = records::format_single(correction);
  shown.erase(0, shown.find_first_not_of(' '));
  shown.erase(shown.find_last_not_of(' ') + 1);
  throw errors::RunStopped(errors::kExitRefused, "a continuity correction must be 0 or more, not " + shown);
}

}  // namespace

RunParameters run_dialogue(Variant variant, records::ListReader& answers, records::ListWriter& console,
                           std::int32_t run_limit) {
  const bool v10 = variant == Variant::kOskevV10;
  RunParameters p;
  banner(console);

  console.write({"How many studies ?"});
  ask(answers, console, p.NSTUDY);
  if (v10) console.empty_line();
  console.write({"studies=", p.NSTUDY});
  refuse_above(p.NSTUDY, kMaxStudies, "studies", console);
  console.empty_line();

  console.write({"How runs ?"});
  ask(answers, console, p.NRUNS);
  if (v10) console.empty_line();
  console.write({"runs=", p.NRUNS});
  refuse_above(p.NRUNS, run_limit, "runs", console);
  console.empty_line();

  console.write({"What is the continuity correction"});
  console.write({"for studies with zero events for one arm?"});
  ask(answers, console, p.CCONE);
  if (v10) console.empty_line();
  console.write({"continuity correction=", p.CCONE});
  refuse_negative(p.CCONE, console);
  console.empty_line();

  console.write({"What is the continuity correction"});
  console.write({"for studies with zero events in both arms?"});
  ask(answers, console, p.CCBOTH);
  if (v10) console.empty_line();
  console.write({"continuity correction=", p.CCBOTH});
  refuse_negative(p.CCBOTH, console);
  console.empty_line();

  console.write({"What type of estimation ?"});
  console.write({"For fixed prevalence of total events type \"1\""});
  console.write({"For random prevalence of total events type \"2\""});
  ask(answers, console, p.IOPT);
  if (v10) console.empty_line();
  console.write({v10 ? "Type of estimation=" : "option=", p.IOPT});
  if (p.IOPT != 1 && p.IOPT != 2) {
    console.stream().flush();
    throw errors::RunStopped(errors::kExitRefused, "the type of estimation must be 1 (fixed prevalence of total "
                                                   "events) or 2 (random prevalence of total events), not " +
                                                       std::to_string(p.IOPT));
  }
  if (v10) console.empty_line();
  return p;
}

void announce_results_file(records::ListWriter& console) {
  console.write({"see file \"output\" for the results"});
}

}  // namespace oskev::analysis
