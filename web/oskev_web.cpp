// The web page's way into the engine: `oskev analyse` as the command runs it, for files the page
// has put on the module's in-memory file system, with one simulation giving every report the
// page offers (the table, CSV, JSON and each picture), each byte for byte what the command
// writes for the same input, settings and seed. The page may spread the meta-analyses of a
// batch over several workers, each with an engine of its own; every meta-analysis of a batch
// is analysed with the same seed and settings, so each is the same wherever it is analysed,
// and one engine renders the rows of all of them as the command renders its batch.
//
// A run, on every worker taking part:
//   oskev_open(request, seed)        reads the command's arguments after "analyse", one per
//                                    line (-f, -o and --plot are the page's own and are not
//                                    given), and the files; seed 0 takes the seed as the
//                                    command does (the one given, else the clock's), any
//                                    other is the one to use. Returns the run.
//   oskev_stopped(run)               the exit status when there is nothing to analyse (a bad
//                                    option, a file that cannot be read), else -1
//   oskev_count(run), oskev_seed(run)  the meta-analyses read, the seed used
//   oskev_shard(run, first, end)     analyses meta-analyses first ... end - 1 (0-based)
//   oskev_close(run)
// and, with the rows of every share joined in input order in the file /rows.bin:
//   oskev_render(formats)            reports of the whole batch: 1 the table, 2 CSV, 4 JSON,
//                                    or any sum of them (the page may have each made by
//                                    another worker)
// Each call but oskev_close writes into the folder /out (emptied first):
//   errors.txt, console.txt      what the command writes on standard error and output (open)
//   plots/N.svg, rows.bin        the picture of meta-analysis N (1-based), the rows (shard)
//   table.txt, results.csv, results.json, errors.txt   the reports (render)
// and oskev_shard and oskev_render return the command's exit status (0 when a share is done).
// Progress goes to the page as each meta-analysis of a share is done, through oskev_progress.

#include <emscripten.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <stdexcept>
#include <sstream>
#include <string>
#include <vector>

#include "analysis/batch/batch.hpp"
#include "analysis/batch/batch_output.hpp"
#include "analysis/batch/batch_picture.hpp"
#include "analysis/batch/batch_report.hpp"
#include "analysis/program/analyse_options.hpp"
#include "errors/run_stopped.hpp"
#include "random/clock.hpp"
#include "random/uniform_stream.hpp"
#include "row_transport.hpp"

#ifndef OSKEV_VERSION
#define OSKEV_VERSION "unknown"
#endif

// Tells the page how far a share has got: meta-analyses done of the share, and the share done
// of the next.
EM_JS(void, oskev_progress, (double done, double total, double share), {
  if (typeof postMessage === 'function') postMessage({kind : 'progress', done : done, total : total, share : share});
});

namespace {

namespace fs = std::filesystem;
using namespace oskev;
using namespace oskev::analysis;

// Apart from the folder of the input files, whatever their names.
const fs::path kOut = "/out";
const fs::path kRows = "/rows.bin";
const Variant kVariant = Variant::kOskev;

void write_file(const fs::path& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
}

std::string read_bytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void fresh_out() {
  std::error_code ignored;
  fs::remove_all(kOut, ignored);
  fs::create_directories(kOut);
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
  return read_batch_items(file, name, items, report);
}

// The reports oskev_render makes, any sum of them: each is a function of all rows alone, so
// several workers may make one each.
constexpr int kTableFormat = 1;
constexpr int kCsvFormat = 2;
constexpr int kJsonFormat = 4;

int internal_error(const std::exception& error) {
  write_file(kOut / "errors.txt", std::string("oskev analyse: internal error: ") + error.what() + '\n');
  return errors::kExitInternal;
}

}  // namespace

// One run of the command on one worker: its options, its meta-analyses and the run they are
// analysed with.
struct OskevRun {
  std::optional<int> stopped;  // the exit status when there is nothing to analyse
  AnalyseOptions options;
  std::vector<BatchItem> items;
  Run run;
};

extern "C" {

EMSCRIPTEN_KEEPALIVE OskevRun* oskev_open(const char* request, int seed) {
  auto* session = new OskevRun;
  try {
    fresh_out();
    std::ostringstream console;
    std::ostringstream messages;
    const std::string me = "oskev analyse";
    const ParsedAnalyse parsed = parse_analyse_options(kVariant, lines_of(request), console, messages);
    session->stopped = parsed.exit_status;
    session->options = parsed.options;
    for (const std::string& file : session->options.files) {
      if (session->stopped) break;
      std::string report;
      if (!read_file(file, session->items, report)) {
        messages << me << ": " << report << '\n';
        // Nothing is computed from input with a bad cell.
        session->stopped = errors::kExitInputError;
      }
    }
    write_file(kOut / "errors.txt", messages.str());
    if (!console.str().empty()) write_file(kOut / "console.txt", console.str());
    session->run = session->options.run;
    // Without a seed, the clock's, as the command takes it: shown, so the results can be repeated.
    random::SystemClock clock;
    if (seed != 0) session->run.seed = seed;
    if (session->run.seed == 0) session->run.seed = random::seed_from_clock(clock);
  } catch (const std::exception& error) {
    session->stopped = internal_error(error);
  }
  return session;
}

EMSCRIPTEN_KEEPALIVE int oskev_stopped(const OskevRun* session) { return session->stopped.value_or(-1); }
EMSCRIPTEN_KEEPALIVE int oskev_count(const OskevRun* session) { return static_cast<int>(session->items.size()); }
EMSCRIPTEN_KEEPALIVE int oskev_seed(const OskevRun* session) { return session->run.seed; }
EMSCRIPTEN_KEEPALIVE void oskev_close(OskevRun* session) { delete session; }

EMSCRIPTEN_KEEPALIVE int oskev_shard(const OskevRun* session, int first, int end) {
  try {
    fresh_out();
    const std::vector<BatchItem>& all = session->items;
    if (first < 0 || first > end || end > static_cast<int>(all.size())) throw std::out_of_range("no such share of the batch");
    const std::vector<BatchItem> items(all.begin() + first, all.begin() + end);
    const Model& model = session->options.model;
    const Run& run = session->run;
    fs::create_directories(kOut / "plots");
    BatchOptions batch;
    batch.jobs = 1;
    batch.keep_distributions = true;
    batch.done = [&](std::size_t i, const Outcome& outcome, QDistribution* distribution) {
      if (!outcome.ok() || distribution == nullptr) return;
      write_file(kOut / "plots" / (std::to_string(first + i + 1) + ".svg"),
                 batch_picture(program_title(kVariant), items[i], model, outcome.result(), std::move(*distribution)));
    };
    batch.progress = [](std::size_t done, std::size_t total, double share) {
      oskev_progress(static_cast<double>(done), static_cast<double>(total), share);
    };
    const std::vector<Outcome> outcomes = run_batch(items, model, run, batch);
    write_file(kOut / "rows.bin", web::pack_rows(report_rows(outcomes, items, model, run)));
    return errors::kExitComplete;
  } catch (const std::exception& error) {
    return internal_error(error);
  }
}

EMSCRIPTEN_KEEPALIVE int oskev_render(int formats) {
  try {
    fresh_out();
    const std::vector<ReportRow> rows = web::unpack_rows(read_bytes(kRows));
    int status = errors::kExitComplete;
    for (const ReportRow& row : rows)
      if (row.status != "ok") status = errors::kExitRefused;
    const BatchInfo info{"oskev analyse", OSKEV_VERSION};
    if (formats & kTableFormat) write_file(kOut / "table.txt", render(OutputFormat::kTable, rows, info));
    if (formats & kCsvFormat) write_file(kOut / "results.csv", render(OutputFormat::kCsv, rows, info));
    if (formats & kJsonFormat) write_file(kOut / "results.json", render(OutputFormat::kJson, rows, info));
    write_file(kOut / "errors.txt", "");
    return status;
  } catch (const std::exception& error) {
    return internal_error(error);
  }
}

}  // extern "C"
