#include <algorithm>
#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/batch/batch_numbers.hpp"
#include "analysis/batch/batch_output.hpp"
#include "analysis/batch/batch_text.hpp"

namespace oskev::analysis {

namespace {

constexpr std::size_t kNameWidth = 20;
constexpr std::string_view kGap = "  ";

enum class Align { kLeft, kRight };

// A setting every row carries: stated once above the table when all rows agree, otherwise
// shown in a column of its own.
struct Setting {
  std::string_view label;  // above the table
  std::string_view title;  // of its column
  Align align;
  std::string (*key)(const ReportRow&);      // the exact value, to compare rows by
  std::string (*stated)(const ReportRow&);   // above the table
  std::string (*cell)(const ReportRow&);     // in its column
};

std::string type_key(const ReportRow& row) { return type_name(row.model.prevalence); }
std::string type_stated(const ReportRow& row) {
  return row.model.prevalence == Prevalence::kFixed ? "fixed prevalence of total events"
                                                    : "random prevalence of total events";
}
std::string type_cell(const ReportRow& row) { return type_name(row.model.prevalence); }
std::string ccone_key(const ReportRow& row) { return float_text(row.model.cc_one); }
std::string ccone_cell(const ReportRow& row) { return seven_digits(row.model.cc_one); }
std::string ccboth_key(const ReportRow& row) { return float_text(row.model.cc_both); }
std::string ccboth_cell(const ReportRow& row) { return seven_digits(row.model.cc_both); }
std::string seed_cell(const ReportRow& row) { return std::to_string(row.run.seed); }
std::string runs_cell(const ReportRow& row) { return std::to_string(row.run.runs); }
std::string rule_key(const ReportRow& row) { return row.run.stop_after ? std::to_string(*row.run.stop_after) : "-"; }
std::string rule_stated(const ReportRow& row) {
  if (!row.run.stop_after) return "fixed runs (every run is made)";
  return "Besag-Clifford (stop as soon as " + std::to_string(*row.run.stop_after) +
         " runs have a simulated Q not above the observed Q)";
}
std::string level_key(const ReportRow& row) { return double_text(row.run.level); }
std::string level_cell(const ReportRow& row) { return seven_digits(100.0 * row.run.level) + "%"; }

constexpr std::array<Setting, 7> kSettings = {{
    {"Type of estimation", "type", Align::kLeft, type_key, type_stated, type_cell},
    {"Correction for zero events in one arm", "cc one", Align::kRight, ccone_key, ccone_cell, ccone_cell},
    {"Correction for zero events in both arms", "cc both", Align::kRight, ccboth_key, ccboth_cell, ccboth_cell},
    {"Seed", "seed", Align::kRight, seed_cell, seed_cell, seed_cell},
    {"Runs", "runs", Align::kRight, runs_cell, runs_cell, runs_cell},
    {"Rule", "stop after", Align::kRight, rule_key, rule_stated, rule_key},
    {"Level of the intervals", "level", Align::kRight, level_key, level_cell, level_cell},
}};

bool varies(const Setting& setting, const std::vector<ReportRow>& rows) {
  const std::string first = setting.key(rows.front());
  return std::any_of(rows.begin(), rows.end(), [&](const ReportRow& row) { return setting.key(row) != first; });
}

std::string interval(double lower, double upper) {
  return "[" + seven_digits(lower) + ", " + seven_digits(upper) + "]";
}

struct TableColumn {
  std::string_view title;
  Align align;
};

constexpr std::array<TableColumn, 13> kResultColumns = {{
    {"RRMH", Align::kRight},
    {"limits", Align::kRight},
    {"Q", Align::kRight},
    {"df", Align::kRight},
    {"I\xC2\xB2 (%)", Align::kRight},
    {"P upper", Align::kRight},
    {"P lower", Align::kRight},
    {"b/m", Align::kRight},
    {"P left", Align::kRight},
    {"(b+1)/(m+1)", Align::kRight},
    {"MC SE", Align::kRight},
    {"CI of P left", Align::kRight},
    {"undefined", Align::kRight},
}};

std::vector<std::string> result_cells(const Result& r) {
  return {seven_digits(r.observed.RRMH),
          interval(r.rrmh_lower, r.rrmh_upper),
          seven_digits(r.observed.Q),
          seven_digits(r.observed.DF),
          seven_digits(r.i_squared),
          seven_digits(r.p_upper),
          seven_digits(r.p_lower),
          std::to_string(r.not_above) + "/" + std::to_string(r.runs),
          seven_digits(r.p_left),
          seven_digits(r.p_left_plus_one),
          seven_digits(r.mc_standard_error),
          interval(r.p_left_lower, r.p_left_upper),
          std::to_string(r.undefined)};
}

// One line of the table: aligned cells, then (for a failed row) free text in place of the
// results.
struct Line {
  std::vector<std::string> cells;
  std::string tail;
  bool underline = false;  // dashes under the titles, as wide as each column
};

std::string pad(const std::string& text, std::size_t width, Align align) {
  const std::size_t used = display_width(text);
  const std::string fill(width > used ? width - used : 0, ' ');
  return align == Align::kLeft ? text + fill : fill + text;
}

std::string render_lines(const std::vector<TableColumn>& columns, const std::vector<Line>& lines) {
  std::vector<std::size_t> widths(columns.size(), 0);
  for (const Line& line : lines) {
    for (std::size_t i = 0; i < line.cells.size(); ++i) widths[i] = std::max(widths[i], display_width(line.cells[i]));
  }
  std::string text;
  for (const Line& line : lines) {
    std::string out;
    for (std::size_t i = 0; i < line.cells.size(); ++i) {
      if (i > 0) out += kGap;
      out += line.underline ? std::string(widths[i], '-') : pad(line.cells[i], widths[i], columns[i].align);
    }
    if (!line.tail.empty()) {
      out += kGap;
      out += line.tail;
    }
    out.erase(out.find_last_not_of(' ') + 1);
    text += out + '\n';
  }
  return text;
}

std::string preamble(const std::vector<ReportRow>& rows, const std::vector<bool>& varying) {
  std::size_t label_width = 0;
  for (const Setting& setting : kSettings) label_width = std::max(label_width, setting.label.size() + 1);
  std::string text;
  for (std::size_t i = 0; i < kSettings.size(); ++i) {
    const Setting& setting = kSettings[i];
    const std::string label = std::string(setting.label) + ":";
    text += label + std::string(label_width - label.size() + 1, ' ');
    text += varying[i] ? "varies (see the column \"" + std::string(setting.title) + "\")" : setting.stated(rows.front());
    text += '\n';
  }
  const bool sequential =
      std::any_of(rows.begin(), rows.end(), [](const ReportRow& row) { return row.run.stop_after.has_value(); });
  text +=
      "limits: of RRMH, from the Greenland-Robins variance of ln RRMH.\n"
      "P upper, P lower: the chi-squared tails P(X > Q) and P(X <= Q) with df degrees of freedom.\n"
      "P left = b/m: b of the m runs have a simulated Q not above the observed Q; its CI is exact (" +
      std::string(sequential ? "Clopper-Pearson for a fixed number of runs, inverse binomial when the "
                               "sequential rule stopped the runs"
                             : "Clopper-Pearson") +
      ").\n"
      "undefined: runs whose simulated Q is not a number (never counted in b).\n";
  if (std::any_of(rows.begin(), rows.end(), [](const ReportRow& row) { return row.status == "Q undefined"; })) {
    text += "Q undefined: the observed Q is not a number (a zero cell that no continuity correction removed), so "
            "there is no P left.\n";
  }
  return text;
}

}  // namespace

std::string render_table(const std::vector<ReportRow>& rows) {
  if (rows.empty()) return "No meta-analyses.\n";

  std::vector<bool> varying;
  for (const Setting& setting : kSettings) varying.push_back(varies(setting, rows));

  // Names alone may not tell meta-analyses of different files apart.
  const bool many_sources = std::any_of(rows.begin(), rows.end(),
                                        [&](const ReportRow& row) { return row.source != rows.front().source; });
  std::vector<TableColumn> columns;
  if (many_sources) columns.push_back({"source", Align::kLeft});
  columns.push_back({"name", Align::kLeft});
  columns.push_back({"k", Align::kRight});
  for (std::size_t i = 0; i < kSettings.size(); ++i) {
    if (varying[i]) columns.push_back({kSettings[i].title, kSettings[i].align});
  }
  columns.insert(columns.end(), kResultColumns.begin(), kResultColumns.end());
  // Under sequential stopping each P-value says which rule gave it (and b/m after how many runs).
  const bool sequential =
      std::any_of(rows.begin(), rows.end(), [](const ReportRow& row) { return row.run.stop_after.has_value(); });
  if (sequential) columns.push_back({"rule", Align::kLeft});

  std::vector<Line> lines(2);
  for (const TableColumn& column : columns) {
    lines[0].cells.emplace_back(column.title);
    lines[1].cells.emplace_back();
  }
  lines[1].underline = true;
  for (const ReportRow& row : rows) {
    Line line;
    if (many_sources) line.cells.push_back(shorten_start(one_line(row.source), kNameWidth));
    line.cells.push_back(shorten(one_line(row.name), kNameWidth));
    line.cells.push_back(std::to_string(row.studies));
    for (std::size_t i = 0; i < kSettings.size(); ++i) {
      if (varying[i]) line.cells.push_back(kSettings[i].cell(row));
    }
    if (row.analysed()) {
      const std::vector<std::string> results = result_cells(*row.result);
      line.cells.insert(line.cells.end(), results.begin(), results.end());
      if (sequential) line.cells.push_back(rule_name(*row.result));
      if (row.status != "ok") line.tail = one_line(row.status);
    } else {
      const std::string message = one_line(row.message);
      // In place of the results, starting where they start.
      line.tail = one_line(row.status) + (message.empty() ? "" : ": " + message);
    }
    lines.push_back(std::move(line));
  }
  return preamble(rows, varying) + "\n" + render_lines(columns, lines);
}

}  // namespace oskev::analysis
