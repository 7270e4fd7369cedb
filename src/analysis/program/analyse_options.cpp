#include "analysis/program/analyse_options.hpp"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <thread>

#include "analysis/records/list_reader.hpp"
#include "errors/run_stopped.hpp"

namespace oskev::analysis {

namespace {

const char* const kFooter = R"(Files:
  Each FILE is one of:
  - the study.txt layout: four whole numbers per study (events and subjects of arm 1,
    then of arm 2), separated by blanks, commas or line ends; one meta-analysis;
  - a table with a header line, comma- or tab-separated (quotes, CRLF, a BOM and blank
    lines are fine), with the counts in columns e1,s1,e2,s2; or ai,n1i,ci,n2i or
    ai,bi,ci,di (metafor); or event.e,n.e,event.c,n.c (meta). Optional columns: a study
    label (study, studlab, label, slab, author, trial or name) and the meta-analysis each
    row belongs to (meta, meta_analysis, analysis, group, review or dataset), so one file
    can hold many meta-analyses. Other columns are ignored.
  A bad cell is reported as FILE:LINE:COLUMN and nothing is reported for that file.

Results, per meta-analysis: studies, RRMH with its limits (Greenland-Robins variance of
log RRMH), Q, df, I2, the chi-squared tails of Q (P upper = P(X > Q), the usual test of
heterogeneity; P lower = P(X <= Q); the CSV and JSON also give p_asymptotic, 1 - F(Q) as
the dialogue prints it), the left-sided P-value b/m (b runs of m with simulated Q not
above Q, as the dialogue prints it) and (b+1)/(m+1), the Monte Carlo standard error and
exact interval of b/m (Clopper-Pearson; inverse binomial when --stop-after stopped the
runs), the runs with an undefined simulated Q, the settings and the seed used. Where the
observed Q is not a number (a zero cell that no correction removed) P left and its
interval are NaN and the status says "Q undefined". With a seed, every value equals what
`oskev --seed N` prints and writes for the same studies and answers. In JSON every value is a
number except values that are not finite, which are the strings "NaN", "Infinity" and
"-Infinity" (CSV and table write them the same way).

Exit status: 0 all analysed and written; 2 a file could not be read; 3 some meta-analysis
could not be analysed or has no P left (its row gives the status and the message); 4 the results
(to their file or to standard output) or a picture could not be written; 64 a bad command
line. The most serious one applies.
)";

// The corrections are read as the dialogue reads its answers, so the same text gives the very
// same single-precision value.
struct Correction {
  std::string text;
  float value = 0.0f;
};

std::string check_correction(Correction& c, const char* name) {
  if (!records::parse_real(c.text, c.value) || !std::isfinite(c.value) || c.value < 0.0f) {
    return std::string(name) + " must be a number, 0 or more, not '" + c.text + "'";
  }
  return "";
}

}  // namespace

ParsedAnalyse parse_analyse_options(Variant variant, const std::vector<std::string>& arguments, std::ostream& out,
                                    std::ostream& err) {
  ParsedAnalyse parsed;
  AnalyseOptions& o = parsed.options;
  const std::string name = std::string(program_name(variant)) + " analyse";
  CLI::App app("Tests each meta-analysis of risk ratios in FILE... for extreme low homogeneity, without\n"
               "the dialogue: the Mantel-Haenszel summary, Q and its chi-squared P-value, and the\n"
               "left-sided Monte Carlo P-value of Q under a common risk ratio.",
               name);
  app.footer(kFooter);
  app.get_formatter()->column_width(30);
  Correction cc_one{"0.5"}, cc_both{"0.5"};
  std::string type = "fixed";
  std::string format = "table";
  std::int64_t stop_after = 0;
  std::int64_t seed = 0;
  double level = 95.0;
  const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
  o.jobs = cores;

  app.add_option("FILE", o.files, "tables of studies; '-' reads standard input")->required();
  app.add_option("-r,--runs", o.run.runs, "simulation runs (the most, with --stop-after)")
      ->check(CLI::Range(1, 2147483647))
      ->capture_default_str();
  app.add_option("--cc-one", cc_one.text, "continuity correction for studies with zero events in one arm")
      ->capture_default_str();
  app.add_option("--cc-both", cc_both.text, "continuity correction for studies with zero events in both arms")
      ->capture_default_str();
  app.add_option("-t,--type", type,
                 "type of estimation: fixed (1), fixed prevalence of total events, or random (2), random "
                 "prevalence of total events")
      ->check(CLI::IsMember({"fixed", "random", "1", "2"}))
      ->capture_default_str();
  app.add_option("-s,--seed", seed, "seed of the simulation, 1 to 2147483646 (default: from the clock, reported)")
      ->check(CLI::Range(std::int64_t{1}, std::int64_t{2147483646}));
  app.add_option("--stop-after", stop_after,
                 "sequential stopping (Besag-Clifford): stop once H runs have a simulated Q not above Q; "
                 "P = H/L after L runs; undecided runs go on to --runs")
      ->check(CLI::Range(std::int64_t{1}, std::int64_t{2147483647}))
      ->type_name("H");
  app.add_option("--level", level, "level of every interval, in percent (the limits of RRMH and the interval of "
                                   "P left)")
      ->capture_default_str()
      ->type_name("PERCENT");
  app.add_option("-f,--format", format, "table, csv or json")
      ->check(CLI::IsMember({"table", "csv", "json"}))
      ->capture_default_str();
  app.add_option("-o,--output", o.output, "write the results to this file (replaced as a whole) instead of "
                                          "standard output");
  app.add_option("-j,--jobs", o.jobs, "meta-analyses analysed side by side (default: all cores, " +
                                          std::to_string(cores) + ")")
      ->check(CLI::Range(1, 1024));
  app.add_option("--plot", o.plot,
                 "one SVG picture per meta-analysis, named by this pattern: {name} is the meta-analysis "
                 "(letters, digits, '.', '-' and '_' kept), {index} its number in the batch, e.g. "
                 "'plots/{name}.svg'")
      ->type_name("PATTERN");

  std::vector<std::string> reversed(arguments.rbegin(), arguments.rend());
  try {
    app.parse(reversed);
  } catch (const CLI::CallForHelp&) {
    out << app.help();
    parsed.exit_status = errors::kExitComplete;
    return parsed;
  } catch (const CLI::ParseError& e) {
    err << name << ": " << e.what() << "\nTry '" << name << " --help'.\n";
    parsed.exit_status = errors::kExitUsage;
    return parsed;
  }
  auto fail = [&](const std::string& why) {
    err << name << ": " << why << "\nTry '" << name << " --help'.\n";
    parsed.exit_status = errors::kExitUsage;
    return parsed;
  };
  for (auto* c : {&cc_one, &cc_both}) {
    if (const std::string why = check_correction(*c, c == &cc_one ? "--cc-one" : "--cc-both"); !why.empty()) {
      return fail(why);
    }
  }
  if (!(level > 0.0 && level < 100.0)) return fail("--level must lie between 0 and 100 (percent), not " + std::to_string(level));
  o.model.cc_one = cc_one.value;
  o.model.cc_both = cc_both.value;
  o.model.prevalence = type == "fixed" || type == "1" ? Prevalence::kFixed : Prevalence::kRandom;
  o.run.seed = static_cast<std::int32_t>(seed);
  o.run.level = level / 100.0;
  if (stop_after > 0) o.run.stop_after = stop_after;
  o.format = *parse_output_format(format);
  if (o.plot && o.plot->empty()) return fail("--plot needs a pattern such as 'plots/{name}.svg'");
  return parsed;
}

}  // namespace oskev::analysis
