#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/batch/batch_report.hpp"

namespace oskev::analysis {

// How `oskev analyse` reports its batch: an aligned table for people (the default), or CSV or
// JSON for programs.
enum class OutputFormat { kTable, kCsv, kJson };

// "table", "csv" or "json"; nothing for any other name.
std::optional<OutputFormat> parse_output_format(std::string_view name);

// What the JSON document says about the batch as a whole.
struct BatchInfo {
  std::string program = "oskev analyse";
  std::string version;
};

// The settings common to all rows, then one aligned row per meta-analysis in input order.
// Columns are aligned by UTF-8 code points; names longer than 20 code points are cut to 19 and
// an ellipsis. Reals show 7 significant digits; the left-sided P-value is also shown exactly
// as b/m. A failed row shows its status and message in place of the results. A setting that
// differs between rows gets a column of its own, and so does the source file when there is
// more than one (cut to its last 20 code points).
std::string render_table(const std::vector<ReportRow>& rows);

// RFC 4180: a header line of snake_case column names, then one line per meta-analysis, each
// ending in "\n". Fields holding a comma, a quote, CR or LF are quoted, quotes doubled.
// Single-precision values are the shortest decimals that read back as exactly the same float
// (whether read into a float or into a double and then narrowed), doubles the shortest that
// read back as the same double; values that are not finite are NaN, Infinity or -Infinity. A failed row keeps source, name, status, message, studies and
// settings and leaves every result cell empty; an unset stop_after is an empty cell.
std::string render_csv(const std::vector<ReportRow>& rows);

// One JSON document for the whole batch:
//   {"program": ..., "version": ..., "meta_analyses": [{"source", "name", "status",
//    "message" (failed rows only), "studies", "settings": {...}, "results": {...} or null}]}
// Every number is a JSON number; a single-precision value is written as its shortest float
// decimal (as in the CSV), so reading it into a float, or into a double that is then
// narrowed, gives back the identical value. JSON has no numbers for
// not-a-number or infinite values, so those alone are written as the strings "NaN",
// "Infinity" and "-Infinity". Text that is not valid UTF-8 has the bad bytes replaced by
// U+FFFD. Pretty-printed with two-blank indentation, ending in "\n".
std::string render_json(const std::vector<ReportRow>& rows, const BatchInfo& info);

std::string render(OutputFormat format, const std::vector<ReportRow>& rows, const BatchInfo& info);

}  // namespace oskev::analysis
