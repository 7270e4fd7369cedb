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
#include "analysis/batch/batch_output.hpp"
#include "analysis/batch/report_row.hpp"
#include "analysis/plot/plot_data.hpp"
#include "analysis/program/analyse_options.hpp"
#include "analysis/records/study_tables.hpp"
#include "errors/run_stopped.hpp"
#include "random/clock.hpp"
#include "random/uniform_stream.hpp"

#ifndef OSKEV_VERSION
#define OSKEV_VERSION "unknown"
#endif

// Tells the page how far the batch has got: meta-analyses done of all.
EM_JS(void, oskev_progress, (double done, double total), {
  if (typeof postMessage === 'function') postMessage({kind : 'progress', done : done, total : total});
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
    const records::StudyTables tables = records::read_study_tables(file, name);
    for (const records::TableGroup& group : tables.groups) {
      BatchItem item;
      item.source = name;
      item.name = group.name;
      for (const records::TableStudy& s : group.studies) {
        item.studies.push_back({s.e1, s.s1, s.e2, s.s2});
        if (tables.has_labels) item.labels.push_back(s.label);
      }
      items.push_back(std::move(item));
    }
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

  AnalysisSettings settings = o.settings;
  random::SystemClock clock;
  if (settings.seed == 0) settings.seed = random::seed_from_clock(clock);
  settings.variant = variant;
  write_file(out / "seed.txt", std::to_string(settings.seed));

  fs::create_directories(out / "plots");
  BatchOptions batch;
  batch.jobs = 1;
  batch.keep_distributions = true;
  batch.done = [&](std::size_t i, const AnalysisResult& r, QDistribution* distribution) {
    if (r.status != 0 || distribution == nullptr) return;
    const BatchItem& item = items[i];
    PlotData data = plot_data(program_title(variant), settings.iopt, r.table, r.observed, r.pemp,
                              static_cast<std::int32_t>(r.runs));
    data.title = item.name;
    data.labels = item.labels;
    data.summary_limits = std::make_pair(r.rrmh_lower, r.rrmh_upper);
    data.chi_squared_df = r.observed.DF;
    data.distribution = std::move(*distribution);
    write_file(out / "plots" / (std::to_string(i + 1) + ".svg"), render_plot(data));
  };
  batch.progress = [](std::size_t done, std::size_t total, std::int64_t) {
    oskev_progress(static_cast<double>(done), static_cast<double>(total));
  };
  const std::vector<AnalysisResult> results = run_batch(items, settings, batch);

  int status = errors::kExitComplete;
  std::vector<ReportRow> rows;
  rows.reserve(items.size());
  for (std::size_t i = 0; i < items.size(); ++i) {
    rows.push_back(report_row(results[i], settings, items[i].source, items[i].name,
                              static_cast<std::int64_t>(items[i].studies.size())));
    if (results[i].status != 0) status = errors::kExitRefused;
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
