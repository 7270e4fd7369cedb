// The web page's way into the engine: `oskev analyse` as the command runs it, for files the page
// has put on the module's in-memory file system, with one simulation giving every report the
// page offers (the table, CSV, JSON and each picture), each byte for byte what the command
// writes for the same input, settings and seed.
//
// oskev_analyse(request) takes the command's arguments after "analyse", one per line; -f, -o
// and --plot are the page's own and are not given. It writes into the folder `out`:
//   table.txt, results.csv, results.json   the reports (only when the input could be read)
//   plots/N.svg                            the picture of meta-analysis N (1-based)
//   errors.txt                             what the command writes on standard error
//   seed.txt                               the seed used (the clock's, when none was given)
// and returns the command's exit status. Progress goes to the page as each meta-analysis is
// done, through oskev_progress (below).

#include <emscripten.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "analysis/batch/batch.hpp"
#include "analysis/batch/batch_picture.hpp"
#include "analysis/batch/batch_output.hpp"
#include "analysis/batch/batch_report.hpp"
#include "analysis/plot/plot.hpp"
#include "analysis/plot/plot_data.hpp"
#include "analysis/program/analyse_options.hpp"
#include "analysis/records/study_tables.hpp"
#include "errors/run_stopped.hpp"
#include "random/clock.hpp"
#include "random/uniform_stream.hpp"

#ifndef OSKEV_VERSION
#define OSKEV_VERSION "unknown"
#endif

// Tells the page how far the batch has got: meta-analyses done of all, and the share done of
// the next.
EM_JS(void, oskev_progress, (double done, double total, double share), {
  if (typeof postMessage === 'function') postMessage({kind : 'progress', done : done, total : total, share : share});
});

namespace {

namespace fs = std::filesystem;
using namespace oskev;
using namespace oskev::analysis;

void write_file(const fs::path& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
}

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// The meta-analyses of one file as `oskev analyse` reads them, or the report of why it cannot be.
bool read_file(const std::string& name, std::vector<BatchItem>& items, std::string& report) {
  std::ifstream file(name, std::ios::binary);
  if (!file) {
    report = name + ": cannot be opened";
    return false;
  }
  try {
    records::StudyTables tables = records::read_study_tables(file, name);
    for (records::TableGroup& group : tables.groups) items.push_back({name, group.name, std::move(group.studies)});
  } catch (const records::TableError& error) {
    report = error.what();
    return false;
  }
  return true;
}

int analyse(const std::vector<std::string>& arguments, const fs::path& out) {
  std::ostringstream console;
  std::ostringstream messages;
  const Variant variant = Variant::kOskev;
  const std::string me = "oskev analyse";
  auto finish = [&](int status) {
    write_file(out / "errors.txt", messages.str());
    if (!console.str().empty()) write_file(out / "console.txt", console.str());
    return status;
  };
  const ParsedAnalyse parsed = parse_analyse_options(variant, arguments, console, messages);
  if (parsed.exit_status) return finish(*parsed.exit_status);
  const AnalyseOptions& o = parsed.options;

  std::vector<BatchItem> items;
  for (const std::string& file : o.files) {
    std::string report;
    if (!read_file(file, items, report)) {
      messages << me << ": " << report << '\n';
      // Nothing is computed from input with a bad cell.
      return finish(errors::kExitInputError);
    }
  }

  const Model& model = o.model;
  Run run = o.run;
  // Without a seed, the clock's, as the command takes it: shown, so the results can be repeated.
  random::SystemClock clock;
  if (run.seed == 0) run.seed = random::seed_from_clock(clock);
  write_file(out / "seed.txt", std::to_string(run.seed));

  fs::create_directories(out / "plots");
  BatchOptions batch;
  batch.jobs = 1;
  batch.keep_distributions = true;
  batch.done = [&](std::size_t i, const Outcome& outcome, QDistribution* distribution) {
    if (!outcome.ok() || distribution == nullptr) return;
    write_file(out / "plots" / (std::to_string(i + 1) + ".svg"),
               batch_picture(program_title(variant), items[i], model, outcome.result(), std::move(*distribution)));
  };
  batch.progress = [](std::size_t done, std::size_t total, double share) {
    oskev_progress(static_cast<double>(done), static_cast<double>(total), share);
  };
  const std::vector<Outcome> outcomes = run_batch(items, model, run, batch);

  int status = errors::kExitComplete;
  std::vector<ReportRow> rows;
  rows.reserve(items.size());
  for (std::size_t i = 0; i < items.size(); ++i) {
    rows.push_back(report_row(outcomes[i], model, run, items[i].source, items[i].name,
                              static_cast<std::int64_t>(items[i].studies.size())));
    if (rows.back().status != "ok") status = errors::kExitRefused;
  }
  const BatchInfo info{"oskev analyse", OSKEV_VERSION};
  write_file(out / "table.txt", render(OutputFormat::kTable, rows, info));
  write_file(out / "results.csv", render(OutputFormat::kCsv, rows, info));
  write_file(out / "results.json", render(OutputFormat::kJson, rows, info));
  return finish(status);
}

}  // namespace

extern "C" EMSCRIPTEN_KEEPALIVE int oskev_analyse(const char* request) {
  const fs::path out = "out";
  try {
    std::error_code ignored;
    fs::remove_all(out, ignored);
    fs::create_directories(out);
    return analyse(lines_of(request), out);
  } catch (const std::exception& error) {
    write_file(out / "errors.txt", std::string("oskev analyse: internal error: ") + error.what() + '\n');
    return errors::kExitInternal;
  }
}
