#include "analysis/program/program.hpp"

#include <fstream>
#include <istream>
#include <optional>
#include <ostream>
#include <span>
#include <stdexcept>

#include "analysis/program/analyse_command.hpp"
#include "analysis/program/dialogue.hpp"
#include "analysis/engine.hpp"
#include "analysis/plot/plot.hpp"
#include "analysis/plot/plot_data.hpp"
#include "analysis/records/list_reader.hpp"
#include "analysis/records/list_writer.hpp"
#include "analysis/program/replace_file.hpp"
#include "analysis/program/platform.hpp"
#include "analysis/program/report.hpp"
#include "random/uniform_stream.hpp"

namespace oskev::analysis {

namespace {

constexpr std::int32_t kConsoleInputUnit = 5;
constexpr std::int32_t kStudyUnit = 10;
constexpr const char* kStudyFile = "study.txt";
constexpr const char* kResultsFile = "output.txt";

// Opens study.txt for reading; like an open with status unknown, a missing file is created
// empty first (and the read then meets its end).
std::ifstream open_study_file(const std::filesystem::path& path) {
  namespace fs = std::filesystem;
  std::error_code error;
  if (fs::is_directory(path, error)) {
    throw errors::RunStopped(errors::kExitInputError, "cannot open " + std::string(kStudyFile) + ": it is a folder");
  }
  if (!fs::exists(path, error)) std::ofstream create(path);
  std::ifstream study(path, std::ios::binary);
  if (!study) throw errors::RunStopped(errors::kExitInputError, "cannot open " + std::string(kStudyFile));
  return study;
}

// The picture must not take the place of the study file or of the results.
void refuse_plot_over_own_files(const RunEnvironment& environment, const RunOptions& options) {
  if (!options.plot) return;
  namespace fs = std::filesystem;
  std::error_code error;
  const fs::path plot = fs::weakly_canonical(environment.directory / *options.plot, error);
  for (const char* own : {kStudyFile, kResultsFile}) {
    if (plot == fs::weakly_canonical(environment.directory / own, error)) {
      throw errors::RunStopped(errors::kExitUsage, "--plot " + utf8_name(*options.plot) + " would overwrite " + own);
    }
  }
}

// The dialogue's one meta-analysis as the engine takes it: the answers, the variant's test of a
// total's arm probabilities, and the number of studies as answered.
Model dialogue_model(const RunParameters& parameters) {
  return {parameters.IOPT == 1 ? Prevalence::kFixed : Prevalence::kRandom, parameters.CCONE, parameters.CCBOTH};
}

Run dialogue_run(Variant variant, const RunParameters& parameters, const RunOptions& options, std::int32_t seed) {
  Run run;
  run.seed = seed;
  run.runs = parameters.NRUNS;
  run.tuning.redraw_limits = options.redraw_limits;
  run.tuning.zero_test = variant == Variant::kOskevV10 ? ZeroTest::kAtMostZero : ZeroTest::kEqualsZero;
  run.tuning.stated_studies = parameters.NSTUDY;
  return run;
}

// A picture that could not be written at the end would fail a run that did all its work:
// its place is tried before the first question.
void check_picture_place(const RunEnvironment& environment, const RunOptions& options) {
  if (options.plot) check_replaceable(environment.directory / *options.plot, utf8_name(*options.plot));
}

// The console's output is the run's result as much as output.txt is: once a write to it has
// failed (a full disk, a closed pipe), the run goes no further. The loss is reported once,
// by the program's entry, which finds the stream failed.
struct ConsoleLost {};
void flush_console(std::ostream& console) {
  console.flush();
  if (console.fail()) throw ConsoleLost{};
}

// What OSKEV shows of the analysis before the simulation (OSKEV v1.0 an empty line), and the
// simulated Q, kept only for a picture.
class DialogueObserver final : public Observer {
 public:
  DialogueObserver(Variant variant, records::ListWriter& console, std::ostream& stream, bool keep_qsim)
      : oskev_(variant == Variant::kOskev), console_(console), stream_(stream), keep_qsim_(keep_qsim) {}

  void on_table(const StudyTable& table) override {
    if (!oskev_) {
      console_.empty_line();
      return;
    }
    print_counts(console_, counts_as_read(table));
    print_counts(console_, table.COUNT);
  }
  void on_observed(const Result& result) override {
    if (oskev_) {
      print_risk_ratios(console_, result.table);
      print_observed(console_, result.observed);
    }
    flush_console(stream_);
  }
  void on_runs(std::int64_t, std::span<const float> runs) override {
    if (keep_qsim_) qsim.insert(qsim.end(), runs.begin(), runs.end());
  }

  std::vector<float> qsim;

 private:
  bool oskev_;
  records::ListWriter& console_;
  std::ostream& stream_;
  bool keep_qsim_;
};

void run(Variant variant, const RunEnvironment& environment, const RunOptions& options) {
  refuse_plot_over_own_files(environment, options);
  check_picture_place(environment, options);
  records::ListWriter console(environment.console);
  records::ListReader answers(environment.answers, kConsoleInputUnit, "stdin");

  const RunParameters parameters = run_dialogue(variant, answers, console, options.run_limit);
  std::ifstream study_file = open_study_file(environment.directory / kStudyFile);
  announce_results_file(console);

  records::ListReader study(study_file, kStudyUnit, kStudyFile);
  const std::vector<Study> studies = read_study_file(study, parameters.NSTUDY);

  // The whole simulation follows from the time of day in whole seconds as the simulation starts,
  // or from the seed that stands in for every reading of the clock.
  const std::int32_t seed = options.seed ? *options.seed : random::seed_from_clock(environment.clock);
  DialogueObserver observer(variant, console, environment.console, options.plot.has_value());
  const Outcome outcome =
      analyse(studies, dialogue_model(parameters), dialogue_run(variant, parameters, options, seed), &observer);
  if (!outcome.ok()) {
    const Failure& failure = outcome.failure();
    if (failure.kind != FailureKind::kLibraryStop) throw errors::RunStopped(errors::kExitRefused, failure.message);
    // The library writes its messages and traceback on the console, where the run stops.
    environment.console << failure.message;
    throw errors::RunStopped(errors::kExitLibraryStop, "");
  }
  const Result& result = outcome.result();

  print_results(variant, console, result.observed, result.pemp, static_cast<std::int32_t>(result.undefined),
                result.q_undefined());
  flush_console(environment.console);
  // Both files are written in full before either takes its place, the picture first: a run
  // that fails on either leaves an earlier output.txt as it was.
  std::optional<StagedFile> plot;
  if (options.plot) {
    PlotData data = plot_data(program_title(variant), parameters.IOPT, result.table, result.observed, result.pemp,
                              parameters.NRUNS);
    data.qsim = std::move(observer.qsim);
    plot.emplace(environment.directory / *options.plot, render_plot(data), utf8_name(*options.plot));
  }
  StagedFile results(environment.directory / kResultsFile,
                     with_line_ends(results_file_text(variant, parameters.IOPT, result.observed, result.pemp),
                                    environment.line_end),
                     kResultsFile);
  if (plot) plot->commit();
  results.commit();
}

// A failed write to standard output is a failed run: reported here on standard error, once.
// Returns whether it happened.
bool console_lost(const std::string& me, const RunEnvironment& environment) {
  environment.console.flush();
  if (!environment.console.fail()) return false;
  environment.errors << me << ": cannot write to standard output\n";
  return true;
}

int run_and_report(Variant variant, const RunEnvironment& environment, const RunOptions& options) {
  try {
    run(variant, environment, options);
    environment.console.flush();
    return errors::kExitComplete;
  } catch (const ConsoleLost&) {
    return errors::kExitOutputError;
  } catch (const errors::RunStopped& stop) {
    environment.console.flush();
    if (!stop.report().empty()) environment.errors << program_name(variant) << ": " << stop.report() << '\n';
    return stop.exit_status();
  } catch (const records::InputError& error) {
    environment.console.flush();
    environment.errors << program_name(variant) << ": " << error.what() << '\n';
    return errors::kExitInputError;
  } catch (const std::exception& error) {
    // Nothing should reach here (memory exhausted, say); still a report, not a crash.
    environment.console.flush();
    environment.errors << program_name(variant) << ": internal error: " << error.what() << '\n';
    return errors::kExitInternal;
  }
}

}  // namespace

int run_program(Variant variant, const RunEnvironment& environment, const RunOptions& options) {
  const int status = run_and_report(variant, environment, options);
  // A run that failed anyway keeps the status that says why it stopped.
  if (console_lost(program_name(variant), environment) && status == errors::kExitComplete) {
    return errors::kExitOutputError;
  }
  return status;
}

int program_main(Variant variant, const std::vector<std::string>& arguments, const RunEnvironment& environment) {
  if (!arguments.empty() && arguments.front() == "analyse") {
    const std::string me = std::string(program_name(variant)) + " analyse";
    int status = errors::kExitInternal;
    try {
      status = analyse_main(variant, {arguments.begin() + 1, arguments.end()}, environment);
    } catch (const std::exception& error) {
      environment.errors << me << ": internal error: " << error.what() << '\n';
    }
    // Results lost on the way to standard output outrank a file not read or a meta-analysis not
    // analysed, as a results file not written does.
    const bool lost = console_lost(me, environment);
    if (lost && (status == errors::kExitComplete || status == errors::kExitInputError ||
                 status == errors::kExitRefused)) {
      return errors::kExitOutputError;
    }
    return status;
  }
  const CommandLine command = parse_command_line(variant, arguments, environment.console, environment.errors);
  if (command.exit_status) {
    // --help and --version answer on standard output.
    if (console_lost(program_name(variant), environment) && *command.exit_status == errors::kExitComplete) {
      return errors::kExitOutputError;
    }
    return *command.exit_status;
  }
  return run_program(variant, environment, command.options);
}

}  // namespace oskev::analysis
