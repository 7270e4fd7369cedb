#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "analysis/batch/batch.hpp"
#include "analysis/engine.hpp"

namespace oskev::analysis {

// One meta-analysis of a batch as `oskev analyse` reports it: where it came from, how it was
// analysed, and its result or why there is none. The report only formats: every number is the
// engine's.
struct ReportRow {
  std::string source;  // the file it was read from ("-" for standard input)
  std::string name;    // the meta-analysis: its group name, or the file name when ungrouped
  // "ok"; "Q undefined" (analysed, but the observed Q is not a number, so P left is none);
  // "library stop", "refused" or "cancelled" (no result); "input error" (never analysed).
  std::string status;
  std::string message;  // why there is no result or no P left; empty when status is "ok"
  std::int64_t studies = 0;
  Model model;
  Run run;                       // its seed is the one used
  std::optional<Result> result;  // for "ok" and "Q undefined"

  bool analysed() const noexcept { return result.has_value(); }
};

// The row of an analysed (or failed) meta-analysis.
ReportRow report_row(const Outcome& outcome, const Model& model, const Run& run, std::string source, std::string name,
                     std::int64_t studies);

// The rows of a batch's meta-analyses, in order: `outcomes[i]` is that of `items[i]`.
std::vector<ReportRow> report_rows(const std::vector<Outcome>& outcomes, const std::vector<BatchItem>& items,
                                   const Model& model, const Run& run);

// The rule that decided the runs: "Besag-Clifford" when it stopped them early, else "fixed runs".
const char* rule_name(const Result& result);

// Which interval of P left a result carries: "Clopper-Pearson" or "inverse binomial".
const char* interval_name(const Result& result);

}  // namespace oskev::analysis
