#include "analysis/program/analyse_command.hpp"

#include <algorithm>
#include <chrono>
#include <fstream>
#include <map>
#include <mutex>
#include <ostream>
#include <sstream>

#include "analysis/program/analyse_options.hpp"
#include "analysis/program/output_places.hpp"
#include "analysis/batch/batch.hpp"
#include "analysis/batch/batch_picture.hpp"
#include "analysis/plot/plot.hpp"
#include "analysis/plot/plot_data.hpp"
#include "analysis/program/platform.hpp"
#include "analysis/program/replace_file.hpp"
#include "analysis/program/report.hpp"
#include "analysis/batch/batch_report.hpp"
#include "errors/run_stopped.hpp"
#include "random/uniform_stream.hpp"
#include "text/utf8.hpp"

#ifndef OSKEV_VERSION
#define OSKEV_VERSION "unknown"
#endif

namespace oskev::analysis {

namespace {

namespace fs = std::filesystem;

fs::path resolve(const RunEnvironment& environment, const std::string& name) {
  const fs::path path = path_from_utf8(name);
  return path.is_absolute() ? path : environment.directory / path;
}

// The meta-analyses of one file, or the report of why it cannot be read.
bool read_file(const RunEnvironment& environment, const std::string& name, std::vector<BatchItem>& items,
               std::string& report) {
  std::ifstream file;
  std::istream* in = &environment.answers;
  if (name != "-") {
    const fs::path path = resolve(environment, name);
    std::error_code error;
    if (fs::is_directory(path, error)) {
      report = text::shown_name(name) + ": is a folder";
      return false;
    }
    file.open(path, std::ios::binary);
    if (!file) {
      report = text::shown_name(name) + ": cannot be opened";
      return false;
    }
    in = &file;
  }
  return read_batch_items(*in, name, items, report);
}

// A meta-analysis's name as part of a file name: letters, digits, '.', '-' and '_' are kept.
std::string file_part(const std::string& name) {
  std::string part;
  for (unsigned char c : name) {
    part += std::isalnum(c) || c == '.' || c == '-' || c == '_' ? static_cast<char>(c) : '_';
  }
  if (part.empty() || part.front() == '.' || names_a_device(part)) part.insert(part.begin(), '_');
  return part;
}

std::string picture_name(const std::string& pattern, const BatchItem& item, std::size_t index) {
  std::string name;
  for (std::size_t i = 0; i < pattern.size();) {
    if (pattern.compare(i, 6, "{name}") == 0) {
      name += file_part(item.name);
      i += 6;
    } else if (pattern.compare(i, 7, "{index}") == 0) {
      name += std::to_string(index + 1);
      i += 7;
    } else {
      name += pattern[i++];
    }
  }
  return name;
}

// One line on standard error, rewritten as the batch goes on, at most ten times a second.
class ProgressLine {
 public:
  explicit ProgressLine(std::ostream& out) : out_(out) {}
  void show(std::size_t done, std::size_t total, double share) {
    const auto now = std::chrono::steady_clock::now();
    if (done < total && now - last_ < std::chrono::milliseconds(100)) return;
    last_ = now;
    std::ostringstream line;
    line << "\ranalysed " << done << " of " << total << " meta-analyses";
    if (share > 0.0) line << ", " << static_cast<int>(100.0 * share) << "% of the next";
    line << "   ";
    out_ << line.str() << std::flush;
    shown_ = true;
  }
  ~ProgressLine() {
    if (shown_) out_ << '\n' << std::flush;
  }

 private:
  std::ostream& out_;
  std::chrono::steady_clock::time_point last_{};
  bool shown_ = false;
};

}  // namespace

int analyse_main(Variant variant, const std::vector<std::string>& arguments, const RunEnvironment& environment) {
  const ParsedAnalyse parsed = parse_analyse_options(variant, arguments, environment.console, environment.errors);
  if (parsed.exit_status) return *parsed.exit_status;
  const AnalyseOptions& o = parsed.options;
  const std::string me = std::string(program_name(variant)) + " analyse";
  int status = errors::kExitComplete;
  auto worse = [&status](int s) {
    // The most serious: the results not written, then a file not read, then analyses that failed.
    auto rank = [](int x) { return x == errors::kExitOutputError ? 3 : x == errors::kExitInputError ? 2 : x != 0; };
    if (rank(s) > rank(status)) status = s;
  };

  std::vector<BatchItem> items;
  for (const std::string& file : o.files) {
    std::string report;
    if (!read_file(environment, file, items, report)) {
      environment.errors << me << ": " << report << '\n';
      worse(errors::kExitInputError);
    }
  }

  const Model& model = o.model;
  Run run = o.run;
  // Without a seed, the clock's, as the dialogue takes it: reported, so the batch can be repeated.
  if (run.seed == 0) run.seed = random::seed_from_clock(environment.clock);
  if (variant == Variant::kOskevV10) run.tuning.zero_test = ZeroTest::kAtMostZero;

  std::vector<fs::path> pictures;
  std::vector<std::string> picture_names;  // as the pattern gives them, for messages
  if (o.plot) {
    std::map<std::string, std::size_t> taken;
    for (std::size_t i = 0; i < items.size(); ++i) {
      picture_names.push_back(picture_name(*o.plot, items[i], i));
      pictures.push_back(resolve(environment, picture_names.back()));
      const std::string identity = resolved_identity(pictures.back());
      if (identity.empty()) continue;  // a device: written to, never replaced
      if (auto [at, fresh] = taken.emplace(identity, i); !fresh) {
        environment.errors << me << ": --plot " << text::shown_name(*o.plot) << " gives meta-analyses "
                           << at->second + 1 << " and " << i + 1 << " the same picture, "
                           << text::shown_name(utf8_name(pictures.back()))
                           << "; put {index} or {name} in it\n";
        return errors::kExitUsage;
      }
    }
  }

  // Every output is tried before the first meta-analysis: none may overwrite an input or
  // another output, and each place must take its file, so no result is lost at the end.
  try {
    std::vector<OutputPlace> outputs;
    if (o.output) outputs.push_back({resolve(environment, *o.output), *o.output, "-o"});
    for (std::size_t i = 0; i < pictures.size(); ++i) outputs.push_back({pictures[i], picture_names[i], "--plot"});
    check_output_places(environment, o.files, outputs, true);
  } catch (const errors::RunStopped& stop) {
    environment.errors << me << ": " << stop.report() << '\n';
    return stop.exit_status();
  }

  std::mutex picture_errors;
  BatchOptions batch;
  batch.jobs = o.jobs;
  batch.keep_distributions = o.plot.has_value();
  batch.done = [&](std::size_t i, const Outcome& outcome, QDistribution* distribution) {
    if (!o.plot || !outcome.ok() || distribution == nullptr) return;
    const std::string svg =
        batch_picture(program_title(variant), items[i], model, outcome.result(), std::move(*distribution));
    try {
      std::error_code ignored;  // a folder that cannot be made shows as the write's failure
      fs::create_directories(pictures[i].parent_path(), ignored);
      replace_file(pictures[i], svg, picture_names[i]);
    } catch (const errors::RunStopped& stop) {
      std::lock_guard<std::mutex> lock(picture_errors);
      environment.errors << me << ": " << stop.report() << '\n';
      worse(errors::kExitOutputError);
    }
  };
  std::optional<ProgressLine> progress;
  if (environment.errors_is_terminal) {
    progress.emplace(environment.errors);
    batch.progress = [&](std::size_t done, std::size_t total, double share) { progress->show(done, total, share); };
  }
  const std::vector<Outcome> outcomes = run_batch(items, model, run, batch);
  progress.reset();

  const std::vector<ReportRow> rows = report_rows(outcomes, items, model, run);
  for (const ReportRow& row : rows) {
    if (row.status != "ok") worse(errors::kExitRefused);
  }
  const std::string text = render(o.format, rows, BatchInfo{"oskev analyse", OSKEV_VERSION});
  if (o.output) {
    try {
      replace_file(resolve(environment, *o.output), with_line_ends(text, environment.line_end), *o.output);
    } catch (const errors::RunStopped& stop) {
      // Nothing of a long batch is lost: the results go to standard output instead.
      environment.errors << me << ": " << stop.report() << "; the results follow on standard output\n";
      environment.console << text << std::flush;
      worse(errors::kExitOutputError);
    }
  } else {
    environment.console << text << std::flush;
  }
  return status;
}

}  // namespace oskev::analysis
